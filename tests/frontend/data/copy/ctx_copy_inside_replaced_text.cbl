       COPY OUTER REPLACING ==A== BY ==B==.
       01 LAST.
