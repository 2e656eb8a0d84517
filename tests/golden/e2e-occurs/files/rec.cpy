       01  ORDER-REC.
           05  ORDER-NO        PIC 9(8).
           05  MONTH-TOTAL     PIC 9(5) OCCURS 3 TIMES.
           05  LINE-COUNT      PIC 9.
           05  ORDER-LINE      OCCURS 1 TO 9 TIMES
                               DEPENDING ON LINE-COUNT.
               10  ITEM-NO     PIC X(6).
               10  QTY         PIC 9(3).
