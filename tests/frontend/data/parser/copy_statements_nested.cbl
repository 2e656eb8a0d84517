       01 R.
       COPY OUTER.
       01 S.
