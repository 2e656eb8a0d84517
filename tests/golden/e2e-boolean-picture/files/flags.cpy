      * IBM compilers refuse the boolean symbol 1.
       01  FLAGS.
           05  MASK            PIC 1(8).
           05  NAME            PIC X(4).
