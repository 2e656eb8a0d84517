       01  REC.
           05  G USAGE COMP.
               10  A  PIC S9(4).
               10  B  PIC S9(4).
           05  C      PIC X(2).
