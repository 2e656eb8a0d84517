       01  REC.
           05  N.
               10  N1 PIC 9.
           05  T OCCURS 1 TO 5 DEPENDING ON N PIC X.
