       COPY CB REPLACING ==X== BY ==COPY INNER.==.
       01 Z.
