       01  TB.
           05  FILLER   PIC X(2).
           05  T-NAME   PIC X(3).
           05  T-AMT    PIC S9(3) COMP-3 OCCURS 3.
           05  T-Z      PIC 9(2).
