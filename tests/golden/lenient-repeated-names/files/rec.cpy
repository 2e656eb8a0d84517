      * Names repeated among siblings: numbered in document order.
       01  REC.
           05  VAR1            PIC X.
           05  VAR1            PIC X(2).
           05  FILLER          PIC X.
           05  VAR1            PIC 9.
           05  GRP.
               10  VAR1        PIC X.
       01  REC.
           05  VAR1            PIC X.
