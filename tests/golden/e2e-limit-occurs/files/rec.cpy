      * An OCCURS bound past 32 bits once wrapped to 1 occurrence.
       01  REC.
           05  LEAD            PIC X.
           05  ROWS            OCCURS 4294967297 TIMES.
               10  CELL        PIC X.
