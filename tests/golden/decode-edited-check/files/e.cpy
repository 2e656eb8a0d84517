       01  E-REC.
           05  X-F      PIC +9(2).9(2)E+9(2).
           05  E-N      PIC 9(6).99-.
           05  E-Z      PIC $$$,$$9.99CR.
