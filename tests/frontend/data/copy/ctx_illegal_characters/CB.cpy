           05 A PIC X.
           05 Q PIC X ! VALUE #.
