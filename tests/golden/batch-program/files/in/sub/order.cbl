       DATA DIVISION.
       LINKAGE SECTION.
       01  LK-A            PIC X.
       WORKING-STORAGE SECTION.
       01  WS-A            PIC X.
