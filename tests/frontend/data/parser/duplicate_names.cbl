       01 R.
           05 B.
               10 C PIC X.
           05 B PIC X.
           05 G.
               10 C PIC X.
           05 B PIC X.
       01 R PIC X.
