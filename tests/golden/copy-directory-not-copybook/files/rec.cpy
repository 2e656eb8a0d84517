      * SUB is only a directory: no copybook is found.
       01  REC.
           05  LEAD            PIC X.
           COPY SUB.
