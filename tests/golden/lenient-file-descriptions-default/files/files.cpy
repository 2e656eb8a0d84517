       FILE SECTION.
       FD  OUT-FILE
           RECORDING MODE IS F
           LABEL RECORDS ARE STANDARD.
       01  OUT-REC.
           05 OUT-KEY      PIC X(6).
           05 OUT-AMOUNT   PIC S9(7)V99 COMP-3.
       SD  SORT-FILE.
       01  SORT-REC.
           05 SORT-KEY     PIC X(6).
