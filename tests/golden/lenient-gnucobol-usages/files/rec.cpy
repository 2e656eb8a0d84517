      * The GnuCOBOL and Micro Focus usages that -lenient reads.
       01  REC.
           05  C-LONG          BINARY-C-LONG.
           05  C-LONG-U        USAGE BINARY-C-LONG UNSIGNED.
           05  S-SHORT         SIGNED-SHORT.
           05  S-INT           USAGE IS SIGNED-INT.
           05  S-LONG          SIGNED-LONG.
           05  U-SHORT         UNSIGNED-SHORT.
           05  U-INT           UNSIGNED-INT.
           05  U-LONG          UNSIGNED-LONG.
           05  D-16            FLOAT-DECIMAL-16.
           05  D-34            FLOAT-DECIMAL-34.
           05  P-PTR           PROGRAM-POINTER.
           05  X-1             PIC 99 COMP-X.
           05  X-2             PIC 9(4) COMP-X VALUE 258.
           05  X-3             PIC 9(7) COMPUTATIONAL-X.
           05  X-4             PIC S9(9) COMP-X SYNC.
           05  X-V             PIC 9(3)V9 COMP-X.
           05  X-A             PIC X(3) COMP-X.
           05  N-2             PIC XX COMP-N.
           05  N-5             PIC 9(5) COMPUTATIONAL-N.
           05  P6-7            PIC 9(5)V99 COMP-6.
           05  P6-8            PIC 9(8) COMPUTATIONAL-6.
           05  P6-S            PIC S9(5) COMP-6.
           05  B-INT-U         BINARY-INT UNSIGNED.
           05  B-LONG-LONG     BINARY-LONG-LONG.
