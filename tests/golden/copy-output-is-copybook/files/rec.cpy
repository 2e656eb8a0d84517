      * -o names the copybook this file copies: refused, untouched.
       01  REC.
           05  LEAD            PIC X.
           COPY SUB.
