       COPY CB REPLACING ==A, B== BY ==AB== ==;== BY ==.==.
