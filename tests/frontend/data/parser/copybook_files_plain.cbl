       01  PLAIN-REC.
           05 PLAIN-A   PIC X(3).
