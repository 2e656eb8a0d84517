       01  R1                  PIC X(8).
       01  R2 REDEFINES R1     PIC 9(8).
