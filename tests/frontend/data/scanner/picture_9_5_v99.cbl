           05 A PIC 9(5)V99.
