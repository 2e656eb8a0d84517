           05 PART-ID   PIC 9(4).
           05 PART-NAME PIC X(20) VALUE.
           05 PART-QTY  PIC 9(5).
           05 PART-COST PIC 9(5)V99 VALUE 1 2.
