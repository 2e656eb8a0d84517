       01 R1.
           05 CNT   PIC 9 VALUE 0.
           05 TOTAL PIC 9 VALUE    0.
           05 GRP.
             10 SUB PIC X.
       01 R2.
           05 GRP .
             10 SUB PIC X.
