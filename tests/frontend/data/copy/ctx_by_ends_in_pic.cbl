       COPY CB REPLACING ==KIND== BY ==PIC==.
       01 Z.
