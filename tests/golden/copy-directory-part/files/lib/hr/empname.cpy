           05 FIRST-NAME PIC X(20).
           05 LAST-NAME  PIC X(20).
