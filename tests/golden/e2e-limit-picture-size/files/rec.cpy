      * Three factors that each fit, whose sum (2400000000) wrapped to a
      * negative width in 32 bits; past the largest size, 999999999.
       01  REC.
           05  LEAD            PIC X.
           05  BODY    PIC X(800000000)X(800000000)X(800000000).
