           05 XN PIC X.
           05 XN-1 PIC X(2).
