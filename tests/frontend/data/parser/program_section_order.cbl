       DATA DIVISION.
       LINKAGE SECTION.
       01  LK-REC       PIC X.
       WORKING-STORAGE SECTION.
       01  WS-REC       PIC X.
