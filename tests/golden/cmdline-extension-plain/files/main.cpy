       01  MAIN-REC.
           05  HEAD  PIC X(2).
           COPY PART.
