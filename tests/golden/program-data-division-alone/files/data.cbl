       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  WS-DATE.
           05 WS-YEAR      PIC 9(4).
           05 WS-MONTH     PIC 99.
       LOCAL-STORAGE SECTION.
       01  LS-WORK         PIC X(10).
       LINKAGE SECTION.
       01  LK-AREA.
           05 LK-CODE      PIC X(2).
