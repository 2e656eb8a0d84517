       01  T-REC.
           05  T-CODE   PIC X(4).
           05  FILLER   PIC X(3).
           05  T-NAME   PIC X(8).
           05  FILLER   PIC S9(3) COMP-3.
           05  T-GRP.
               10  FILLER  PIC X(2).
               10  T-IN    PIC 9(2).
