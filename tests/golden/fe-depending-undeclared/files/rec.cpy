       01  ORDER-REC.
           05  LINE-COUNT      PIC 99.
           05  ORDER-LINE      OCCURS 1 TO 50 TIMES
                               DEPENDING ON LINE-CNT
                               PIC X(20).
