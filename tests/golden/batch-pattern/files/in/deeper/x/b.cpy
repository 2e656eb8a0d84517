       01 B PIC X(3).
