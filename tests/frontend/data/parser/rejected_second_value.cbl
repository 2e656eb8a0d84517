       01 R PIC 9 VALUE 1 2.
