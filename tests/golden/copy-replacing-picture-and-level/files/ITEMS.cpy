          05 ITEM-CODE PIC X(4).
          05 ITEM-NAME PIC X(4) VALUE "ABCD".
          05 ITEM-QTY  PIC 9(4).
