           05 :P:-NUMBER   PIC 9(8).
           05 :P:-AMOUNT   PIC S9(7)V99 COMP-3.
