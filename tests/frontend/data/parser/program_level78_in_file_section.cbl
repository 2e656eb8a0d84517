       FILE SECTION.
       FD  IN-FILE.
       01  IN-REC       PIC X(4).
       78  IN-LEN       VALUE 4.
       01  IN-ALT       PIC X(4).
       FD  OUT-FILE.
       01  OUT-REC      PIC X(2).
       WORKING-STORAGE SECTION.
       78  WS-LEN       VALUE 2.
       01  WS-REC       PIC X(2).
