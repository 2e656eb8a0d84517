       01 R1.
          05 B PIC X.
       01 R2.
          05 B PIC X.
       01 R3.
          05 C REDEFINES B PIC X.
