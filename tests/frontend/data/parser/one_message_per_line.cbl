       01 R PIC X VALUE 1 2. 01 S PIC 9 VALUE 3 4.
       01 T PIC X.
