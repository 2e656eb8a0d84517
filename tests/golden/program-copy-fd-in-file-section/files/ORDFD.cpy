       FD  ORDER-FILE
           RECORD CONTAINS 24 CHARACTERS.
       01  ORDER-REC.
           05  ORD-ID          PIC 9(8).
           05  ORD-ITEM        PIC X(12).
           05  ORD-QTY         PIC S9(7) COMP-3.
