      * Reserved words that real copybooks use as names.
       01  REC.
           05  EMPTY           PIC X(6).
           05  FEEDBACK        PIC X(2).
               88  MATCH       VALUE 'Y '.
           05  TYPE            PIC X.
           05  ALT REDEFINES TYPE PIC 9.
