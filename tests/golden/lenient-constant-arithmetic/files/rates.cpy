      * Constants computed exactly, with COBOL's precedence; 100 / 3 has
      * no exact decimal value, so DIV3 has none (and its use would stop).
       78  STEP            VALUE 1.5 + 2.
       78  TOTAL           VALUE 10 * (10 + 3) + 12.35-2+3.
       78  EIGHTH          VALUE 1 / 8.
       78  DIV3            VALUE 100 / 3.
       78  MINUS-ONE       VALUE -0.25 * 4.
       78  BELOW           VALUE 0.05 - 1.
       01  RATES.
           05  R-STEP      PIC 9V9       VALUE STEP.
           05  R-TOTAL     PIC 999V99    VALUE TOTAL.
           05  R-EIGHTH    PIC 9V999     VALUE EIGHTH.
           05  R-MINUS     PIC S9        VALUE MINUS-ONE.
           05  R-BELOW     PIC S9V99     VALUE BELOW.
