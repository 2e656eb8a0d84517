           05 A PIC X VALUE == A ==.
           05 C PIC X.
