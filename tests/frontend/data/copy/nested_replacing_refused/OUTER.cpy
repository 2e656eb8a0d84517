       01 A.
       COPY INNER REPLACING ==C== BY ==D==.
