       COPY CB REPLACING ==A== BY ==B==.
