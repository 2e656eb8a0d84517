       COPY OUTER REPLACING ==A== BY ==B==.
