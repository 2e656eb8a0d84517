           03 M PIC X.
