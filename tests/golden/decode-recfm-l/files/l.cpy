       01  L-REC.
           05  L-ID    PIC 9(3).
           05  L-NAME  PIC X(8).
           05  L-AMT   PIC S9(3)V99 SIGN TRAILING SEPARATE.
