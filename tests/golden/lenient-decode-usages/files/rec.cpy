       01  REC.
           05  B-CHAR          BINARY-CHAR.
           05  B-CHAR-U        BINARY-CHAR UNSIGNED.
           05  B-SHORT         BINARY-SHORT.
           05  B-LONG-U        BINARY-LONG UNSIGNED.
           05  B-DOUBLE        BINARY-DOUBLE SIGNED.
           05  F-SHORT         FLOAT-SHORT.
           05  F-LONG          FLOAT-LONG.
           05  N-TEXT          PIC N(2) USAGE NATIONAL.
           05  F-PTR           FUNCTION-POINTER.
