       01  REC.
           05  C-LONG          BINARY-C-LONG.
           05  U-SHORT         UNSIGNED-SHORT.
           05  S-INT           SIGNED-INT.
           05  P-PTR           PROGRAM-POINTER.
           05  X-3             PIC 9(7) COMP-X.
           05  X-V             PIC S9(3)V9 COMP-X.
           05  X-A             PIC X(3) COMP-X.
           05  N-5             PIC 9(5) COMP-N.
           05  P6-7            PIC 9(5)V99 COMP-6.
           05  P6-S            PIC S9(3) COMP-6.
           05  D-16            FLOAT-DECIMAL-16.
           05  D-34            FLOAT-DECIMAL-34.
