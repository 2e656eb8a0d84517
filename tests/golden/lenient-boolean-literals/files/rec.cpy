      * GnuCOBOL's boolean literals B'..' as the numbers their bits make.
       01  REC.
           05  FLAGS           PIC 9(3) VALUE B"101".
           05  MASK            PIC 9(4) COMP VALUE b'1111111111'.
           05  STATE           PIC 9.
               88  STATE-OFF   VALUE B'0'.
               88  STATE-ON    VALUE B'1' B"10" THRU B"11".
