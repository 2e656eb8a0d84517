       01  REC.
           05  A     PIC X(3).
           05  FILLER PIC X(2).
           05  N     PIC S9(3)V99 COMP-3.
           05  CNT   PIC 9(2).
           05  T OCCURS 1 TO 5 DEPENDING ON CNT.
               10 E  PIC ZZ9.99.
           05  G REDEFINES T.
               10 F1 PIC X.
