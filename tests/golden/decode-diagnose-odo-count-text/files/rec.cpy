       01  REC.
           05  N PIC X.
           05  T OCCURS 1 TO 5 DEPENDING ON N PIC X.
