       01  REC.
           05  A PIC 99V99 SIGN IS LEADING SEPARATE.
           05  B PIC 9(3) SIGN TRAILING SEPARATE.
           05  G SIGN LEADING SEPARATE.
               10  C PIC 9(2).
               10  D PIC S9(2).
           05  E PIC X.
