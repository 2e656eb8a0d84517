       01  REC.
           05  F1  PIC X(4).
