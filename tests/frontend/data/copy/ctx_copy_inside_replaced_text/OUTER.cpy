       01 A.
           COPY INNER.
           COPY NOPE.
           COPY INNER REPLACING ==C== BY ==D==.
