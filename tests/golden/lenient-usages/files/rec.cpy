      * COBOL 2002/2014 and IBM usages, and DATE FORMAT.
       01  REC.
           05  B-CHAR          BINARY-CHAR.
           05  B-CHAR-U        USAGE BINARY-CHAR UNSIGNED.
           05  B-SHORT         BINARY-SHORT.
           05  B-SHORT-U       BINARY-SHORT UNSIGNED.
           05  B-LONG          BINARY-LONG SIGNED.
           05  B-LONG-U        BINARY-LONG UNSIGNED.
           05  B-DOUBLE        BINARY-DOUBLE.
           05  B-DOUBLE-U      BINARY-DOUBLE UNSIGNED.
           05  F-SHORT         FLOAT-SHORT.
           05  F-LONG          USAGE IS FLOAT-LONG.
           05  N-TEXT          PIC N(4) USAGE NATIONAL.
           05  F-PTR           USAGE FUNCTION-POINTER.
           05  D-DATE          PIC X(6) DATE FORMAT YYXXXX.
