           05 X PIC X.
           05 K PIC X VALUE K.
           05 L PIC X.
           05 M PIC X.
