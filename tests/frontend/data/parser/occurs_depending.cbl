       01 R.
          05 N PIC 99.
          05 T1 OCCURS 10 PIC X.
          05 T2 OCCURS 1 TO 10 DEPENDING ON N PIC X.
          05 T3 OCCURS 100 TIMES ASCENDING KEY IS K1 K2
                INDEXED BY I1 I2.
             10 K1 PIC X.
             10 K2 PIC X.
