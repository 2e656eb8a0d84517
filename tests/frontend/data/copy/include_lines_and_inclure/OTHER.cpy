           05 N PIC X.
