       01  SG-REC.
           05  SG-G SIGN TRAILING SEPARATE.
               10  SG-S        PIC S9(3).
               10  SG-U        PIC 9(2).
               10  SG-X        PIC X(3).
               10  SG-E        PIC ZZ9.
               10  SG-P        PIC S9(3) COMP-3.
           05  SG-L SIGN LEADING SEPARATE.
               10  SG-LS       PIC S9(2)V9.
               10  SG-LU       PIC 99.
           05  SG-END          PIC X.
