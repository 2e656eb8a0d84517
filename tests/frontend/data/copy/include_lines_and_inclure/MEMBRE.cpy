           03 M REDEFINES N PIC X.
