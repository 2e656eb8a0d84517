       01 A COPY NOPE.
       01 C.
