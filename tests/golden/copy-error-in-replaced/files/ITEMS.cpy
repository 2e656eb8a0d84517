           05 QTY  PIC 9(5).
           05 QTY2 PIC 9(5) VALUE.
           05 NAME PIC X(10).
