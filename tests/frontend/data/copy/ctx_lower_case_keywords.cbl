       COPY CB REPLACING ==amt== BY ==total==.
