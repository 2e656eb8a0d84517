           05 X PIC X.
       01 W.
