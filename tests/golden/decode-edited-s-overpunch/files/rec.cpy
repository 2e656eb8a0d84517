       01  REC.
           05  A PIC S9(3).99.
           05  T PIC X.
