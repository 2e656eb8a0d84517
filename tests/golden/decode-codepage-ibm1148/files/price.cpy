       01  PRICE-REC.
           05  P-LABEL      PIC X(10).
           05  P-AMOUNT     PIC S9(5)V99 COMP-3.
