       FILE SECTION.
       FD  OUT-FILE
           LABEL RECORDS ARE STANDARD.
       01  OUT-REC.
           05 OUT-A     PIC X(3).
       SD  SORT-FILE.
       01  SORT-REC     PIC X(2).
