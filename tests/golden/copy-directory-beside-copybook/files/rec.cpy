      * SUB is a directory; the copybook is SUB.cpy, tried after it.
       01  REC.
           05  LEAD            PIC X.
           COPY SUB.
