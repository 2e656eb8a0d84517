      * A repetition factor past 32 bits once wrapped: 9(4294967298)
      * gave 2 digits. It is past the largest factor, 999999999.
       01  REC.
           05  LEAD            PIC X.
           05  INNER.
               10  AMOUNT      PIC 9(4294967298).
           05  AFTER           PIC X.
