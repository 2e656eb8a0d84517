       01  F-REC.
           05  F-SHORT  COMP-1.
           05  F-LONG   COMP-2.
           05  F-ID     PIC 9.
