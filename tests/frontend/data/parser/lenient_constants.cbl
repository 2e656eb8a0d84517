       01  MAX-LINES CONSTANT AS 3.
       01  SHOWN IS GLOBAL CONSTANT 'AB'.
       78  TAB-MAX VALUE MAX-LINES * 2 + 1.
       78  NAME-LEN GLOBAL VALUE 4.
       78  HALF VALUE 7 / 2.
       01  REC.
           05  FLD         PIC X(NAME-LEN) VALUE SHOWN.
           05  CNT         PIC 9(2) VALUE TAB-MAX.
           05  TAB OCCURS 1 TO TAB-MAX DEPENDING ON CNT.
               10  CELL    PIC X(MAX-LINES).
           05  ROWS OCCURS MAX-LINES TIMES PIC X.
           05  ODD         PIC X(HALF).
           05  UNKNOWN     PIC X(NOT-A-CONSTANT).
