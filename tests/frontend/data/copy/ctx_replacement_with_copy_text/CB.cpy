           05 A PIC X.
           X
           05 B PIC X.
