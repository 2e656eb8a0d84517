      * Constants take no storage; their names stand for their values.
       01  MAX-LINES CONSTANT AS 3.
       78  NAME-LEN VALUE 4.
       78  TAB-MAX GLOBAL VALUE MAX-LINES * 2.
       01  REC.
           05  CNT             PIC 9(2) VALUE TAB-MAX.
           05  CODE-TEXT       PIC X(NAME-LEN).
           05  LINE-TAB OCCURS 1 TO TAB-MAX DEPENDING ON CNT.
               10  LINE-TEXT   PIC X(MAX-LINES).
