           05 Q PIC X.
           05 S REDEFINES Q PIC X.
           10 T PIC X.
