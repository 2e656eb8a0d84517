           05 A PIC X(4).
           05 B PICTURE IS 9(3),99.
           05 C PIC 9.99 VALUE 1.
