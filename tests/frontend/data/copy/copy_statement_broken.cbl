       COPY CB REPLACING ==A== WITH ==B==.
       01 C.
