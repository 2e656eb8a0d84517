       COPY CB REPLACING ==A(1)== BY ==
          Z1 PIC X.
           05 Z2==.
       01 Z.
