       01  ORDER-LINE.
           05  OL-TYPE      PIC X.
           05  OL-ITEM      PIC X(6).
           05  OL-QTY       PIC S9(3) COMP-3.
           05  OL-PRICE     PIC S9(5)V99 COMP-3.
