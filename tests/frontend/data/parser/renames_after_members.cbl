       01 A.
           05 B.
               10 C PIC X.
       66 X RENAMES B.
       66 Y RENAMES C.
           05 D PIC X.
