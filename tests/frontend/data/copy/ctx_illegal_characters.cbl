       COPY CB REPLACING ==A== BY ==AB @ C==.
