       COPY CB REPLACING LEADING ==A== BY ==LONGER==
           ==:V:== BY ==1.2.3==.
