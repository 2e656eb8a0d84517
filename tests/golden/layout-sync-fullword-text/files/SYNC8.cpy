       01  SY-REC.
           05  SY-HEAD         PIC X(25).
           05  SY-BIG          PIC S9(18) COMP SYNC.
           05  SY-MID          PIC X(3).
           05  SY-TEN          PIC 9(10) BINARY SYNC.
           05  SY-X1           PIC X.
           05  SY-DBL          COMP-2 SYNC.
           05  SY-TAIL         PIC S9(5)V99 COMP-3.
