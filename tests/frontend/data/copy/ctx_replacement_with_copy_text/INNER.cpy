           05 I PIC X.
