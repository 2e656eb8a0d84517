       01 R.
          05 A PIC X.
          05 C REDEFINES A OF R PIC X.
