      * A table whose lower bound exceeds its upper bound: the model refuses
      * the cardinality, the run ends with status 1 and writes nothing.
       01  REC.
           05  N   PIC 9.
           05  T   PIC X OCCURS 5 TO 2 TIMES DEPENDING ON N.
