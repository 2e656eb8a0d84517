       01 A PIC XX YY.
