       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  WS-A            PIC X.
