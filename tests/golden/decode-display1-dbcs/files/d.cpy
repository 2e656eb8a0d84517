       01  D-REC.
           05  D-ID   PIC 9(2).
           05  D-KAN  PIC G(3) DISPLAY-1.
           05  D-NAM  PIC N(2) DISPLAY-1.
