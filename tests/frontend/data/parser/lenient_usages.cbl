       01  REC.
           05  BC      BINARY-CHAR.
           05  BCU     USAGE IS BINARY-CHAR UNSIGNED.
           05  BS      BINARY-SHORT SIGNED.
           05  BL      BINARY-LONG UNSIGNED.
           05  BD      BINARY-DOUBLE.
           05  FS      FLOAT-SHORT.
           05  FL      USAGE FLOAT-LONG.
           05  NAT     PIC N(4) NATIONAL.
           05  FP      FUNCTION-POINTER.
           05  DT      PIC X(6) DATE FORMAT IS YYXXXX.
           05  NATIONAL PIC X.
           05  SIGNED  PIC X.
