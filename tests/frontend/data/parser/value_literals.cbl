       01 R.
          05 A PIC 999 VALUE 123.
          05 B PIC 99 VALUE 07.
          05 C PIC S99 VALUE -5.
          05 D PIC 9V9 VALUE 1.5.
          05 E PIC X(3) VALUE 'abc'.
          05 F PIC X(3) VALUE ALL '*'.
