           05 X PIC X.
           05 Q PIC X.
