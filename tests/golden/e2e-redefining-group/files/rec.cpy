       01  REC.
           05  H               PIC X(6).
           05  G REDEFINES H.
               10  G1          PIC X(2).
               10  G2          PIC 9(4).
           05  TAIL            PIC X.
