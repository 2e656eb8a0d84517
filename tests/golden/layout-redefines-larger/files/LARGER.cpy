       01  LR-REC.
           05  LR-KEY          PIC X(2).
           05  LR-AREA         PIC X(4).
           05  LR-NUM REDEFINES LR-AREA PIC 9(4).
           05  LR-WIDE REDEFINES LR-AREA.
               10  LR-W1       PIC X(4).
               10  LR-W2       PIC X(2).
           05  LR-END          PIC X.
