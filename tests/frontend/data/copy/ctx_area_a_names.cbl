       COPY CB REPLACING ==X== BY ==
       Y1 PIC X.
      Y2 PIC X.
 05 Y3==.
       01 Z.
