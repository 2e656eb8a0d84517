       01  A-REC.
           05  A PIC X VALUE 1 2. 05 B PIC X VALUE 3 4.
           05  C PIC X(3).
