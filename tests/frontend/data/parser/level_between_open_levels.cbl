       01 A.
           05 B PIC X.
         03 C.
          04 D PIC X.
         03 E PIC X.
