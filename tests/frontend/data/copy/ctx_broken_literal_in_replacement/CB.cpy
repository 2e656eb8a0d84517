           05 A PIC X(9) VALUE OPEN.
           05 B PIC X.
