       01  F-REC.
           05  F-SHORT  COMP-1.
           05  F-LONG   COMP-2.
           05  F-BIN    PIC S9(4) COMP.
           05  F-NAT    PIC 9(9) COMP-5.
