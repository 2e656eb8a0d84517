           05 OLD PIC X.
