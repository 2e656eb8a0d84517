       01  N-REC.
           05  N-ID    PIC 9(2).
           05  N-TEXT  PIC N(4).
           05  N-MORE  PIC N(2).
