      * The count lives in another group: the reference is kept, with a
      * warning.
       01  ORDER-REC.
           05  ORDER-HEAD.
               10  LINE-COUNT  PIC 9.
           05  ORDER-BODY.
               10  ORDER-LINE  PIC X(20)
                               OCCURS 1 TO 9 TIMES
                               DEPENDING ON LINE-COUNT.
