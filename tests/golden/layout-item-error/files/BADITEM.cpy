       01  BADITEM.
           05  A PIC X.
           05  B COMP-6 PIC 9(3).
