       01  ITEM-REC.
           05  ITEM-ID      PIC 9(4).
           05  ITEM-NAME    PIC X(8).
           05  ITEM-QTY     PIC S9(5) COMP-3.
