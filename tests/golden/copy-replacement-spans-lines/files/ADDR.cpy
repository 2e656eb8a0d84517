           05 FILL-ME PIC X(4).
           05 LAST-PART PIC 9(2).
