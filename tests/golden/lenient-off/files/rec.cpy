      * Every relaxation of -lenient in one copybook.
       >>DEFINE WITH-DATE
       FD  ORDERS
           RECORDING MODE IS F.
       78  KEY-LEN             VALUE 8.
       01  MAX-ITEMS CONSTANT AS 3.
       01  ORDER-REC.
           05  WS-FLAGS.
               88  NO-FLAGS    VALUE SPACES.
               10  FLAG        PIC X.
               10  FLAG        PIC X.
           05  ORD-KEY         PIC X(KEY-LEN).
           05  ORD-KEY-N REDEFINES ORD-KEY PIC 9(8).
           05  EMPTY           PIC X VALUE 'N'.
               88  MATCH       VALUE 'Y'.
           05  ORD-COUNT       BINARY-SHORT UNSIGNED.
           05  ORD-TOTAL       FLOAT-LONG.
           05  ORD-ITEM OCCURS MAX-ITEMS TIMES.
               10  ITEM-ID     BINARY-LONG.
               10  ITEM-TAG    PIC X(2) VALUE 'A' & X'00'.
               10  ITEM-HEX    PIC X VALUE H'FF'.
       >>IF WITH-DATE IS DEFINED
           05  ORD-DATE        PIC X(8) DATE FORMAT YYYYXXXX.
       >>ELSE
           05  ORD-DATE        PIC X(8).
       >>END-IF
