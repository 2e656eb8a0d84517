           05 OTHER-FILE PIC X.
