           05 PART-ID   PIC 9(4).
           05 OLD-NAME  PIC X(12).
           05 PART-QTY OF PART-REC PIC 9(5).
