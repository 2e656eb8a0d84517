       01  RAWREC.
           05  R-ID     PIC 9(3).
           05  R-AMT    PIC S9(3)V99 COMP-3.
           05  FILLER   PIC X(2).
           05  R-NAME   PIC X(4).
