           05 C PIC S9(4) COMP-3.
