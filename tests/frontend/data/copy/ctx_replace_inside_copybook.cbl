       COPY CB REPLACING ==X== BY ==Y==.
       01 X.
