       DATA DIVISION.
       FILE SECTION.
       FD  IN-FILE
           RECORD CONTAINS 10 CHARACTERS.
       01  IN-REC.
           05 IN-A      PIC X(10).
       SD  SORT-FILE.
       01  SORT-REC     PIC X(4).
       WORKING-STORAGE SECTION.
       01  WS-REC.
           05 WS-A      PIC X.
       77  WS-COUNT     PIC 9.
       LOCAL-STORAGE SECTION.
       01  LS-REC       PIC X.
       LINKAGE SECTION.
       01  LK-REC.
           05 LK-A      PIC X.
