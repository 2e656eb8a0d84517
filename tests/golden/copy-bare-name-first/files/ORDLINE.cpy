           05 WRONG-FILE PIC.
