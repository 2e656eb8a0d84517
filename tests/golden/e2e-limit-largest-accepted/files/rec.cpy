      * The largest sizes accepted: 999999999 character positions, a
      * repetition factor of 999999999, an OCCURS bound of 999999999.
       01  REC.
           05  WIDEST          PIC X(999999999).
           05  SUMMED          PIC X(999999998)X.
           05  DIGITS          PIC 9(999999999).
           05  ROWS            OCCURS 999999999 PIC X.
           05  N               PIC 9(4) COMP.
           05  LIST            OCCURS 1 TO 999999999 DEPENDING ON N
                               PIC X.
