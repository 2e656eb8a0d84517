           05 IN-A PIC 9.
           05 OLD2 PIC X.
