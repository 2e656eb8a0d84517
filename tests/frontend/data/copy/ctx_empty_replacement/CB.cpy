           05 B PIC 9 VALUE 0.
           05 A.
