       01  REC.
           05  ACTION-TYPE PIC X.
           78  COBOL-TYPE VALUE X'FA'.
           05  COBOL-OP PIC X.
           05  C0 PIC S9(3) COMP-0.
           05  B1 PIC 1(4).
           05  CNT PIC 9(2).
           05  TAB OCCURS 1 TO 5 DEPENDING ON CNT.
               10  T1 PIC X(3).
