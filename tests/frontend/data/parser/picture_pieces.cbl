       01 R.
          05 A PIC x(05).
          05 B PICTURE IS ZZ,ZZ9.99-.
          05 C PIC -9(3)/99.
          05 D PIC $$$,$$9.99CR.
          05 E PIC 9(4)db.
          05 F PIC x(100) DEPENDING ON G.
          05 G PIC 99.
