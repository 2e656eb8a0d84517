           05 A PIC X.
           05 C PIC X.
