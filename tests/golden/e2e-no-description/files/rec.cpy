       01  REC.
           05  AMOUNT          PIC S9(7)V99 COMP-3.
           05  NAME            PIC X(20).
