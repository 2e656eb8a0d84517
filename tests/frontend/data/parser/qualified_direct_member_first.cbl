       01 A.
          05 B.
             10 C PIC X.
          05 C PIC X.
       01 OTHER.
          05 G.
             10 H.
                15 Z PIC 9.
       01 RMS-STS PIC 9.
       01 T.
          05 T1 OCCURS 1 TO 5 DEPENDING ON C OF A.
          05 T2 OCCURS 1 TO 5 DEPENDING ON Z OF OTHER.
          05 T3 OCCURS 1 TO 5 DEPENDING ON C OF B.
          05 T4 OCCURS 1 TO 5 DEPENDING ON RMS-STS OF A.
          05 T5 OCCURS 1 TO 5 DEPENDING ON OTHER OF A.
