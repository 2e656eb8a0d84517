       01 R1.
          05 G.
             10 X PIC 9.
       01 R2.
          05 G.
             10 X PIC 9.
       01 T.
          05 A OCCURS 1 TO 5 DEPENDING ON X OF G OF R1.
          05 B OCCURS 1 TO 5 DEPENDING ON X OF R2.
          05 C OCCURS 1 TO 5 DEPENDING ON X OF G.
