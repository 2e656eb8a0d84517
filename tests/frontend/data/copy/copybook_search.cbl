       01 A.
       COPY OUTER.
       COPY NOPE.
       01 Z.
