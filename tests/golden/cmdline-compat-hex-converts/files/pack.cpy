       01  PACK-REC.
           05  AMT  PIC S9(5)V99 COMP-3 VALUE -12.5.
