       01 A.
           05 B.
               10 C PIC X.
           05 D PIC X.
       01 E PIC X.
