           05 M PIC X.
           COPY CB REPLACING ==Q== BY ==R==.
