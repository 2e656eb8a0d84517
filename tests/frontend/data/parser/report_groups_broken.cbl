       01 S PIC X.
       RD R1.
       01 TYPE DE LINE X.
          05 A1 COLUMN 1 PIC X SOURCE S.
       01 B1 TYPE RF.
       RD R2.
       01 G2 TYPE DE.
          05 A2 COLUMN 1 PIC X SOURCE S
          05 C2 COLUMN 3 PIC X SOURCE S.
       RD R3 PAGE LIMIT X.
       01 B3 TYPE DE.
          05 A3 COLUMN 1 PIC X SOURCE S.
       RD R4.
       01 G4 TYPE DE LINE 5 NEXT X.
          05 A4 COLUMN 1 PIC X SOURCE S.
       RD .
       01 G5 TYPE DE.
          05 A5 COLUMN 1 PIC X SOURCE S.
