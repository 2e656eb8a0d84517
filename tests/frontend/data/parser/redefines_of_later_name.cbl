       01 R.
          05 A REDEFINES B PIC X.
          05 B PIC X.
