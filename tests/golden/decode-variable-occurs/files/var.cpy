       01  VAR-REC.
           05  VAR-LEN      PIC S9(3) COMP-3.
           05  VAR-TYPE     PIC X.
           05  VAR-COUNT    PIC 9(2).
           05  VAR-ITEM     PIC X(5)
                            OCCURS 1 TO 4 DEPENDING ON VAR-COUNT.
