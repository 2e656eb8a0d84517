       01  ORD.
           05  ORD-ID     PIC 9(3).
           05  ORD-CNT    PIC 9.
           05  ORD-ITEM OCCURS 1 TO 5 DEPENDING ON ORD-CNT.
               10  ORD-SKU  PIC X(3).
               10  ORD-QTY  PIC S9(3) COMP-3.
