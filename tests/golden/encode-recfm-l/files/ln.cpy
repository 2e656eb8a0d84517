       01  LN.
           05  L-NAME   PIC X(5).
           05  L-QTY    PIC S9(3).
