       01 R.
          05 A PIC X.
             88 OK VALUES ARE 'Y' 'y' 'A' THRU 'C'
                   WHEN SET TO FALSE 'N'.
          05 B PIC X.
       66 AB RENAMES A THRU B OF R.
       78 MAXN VALUE 10 * 2 + 1.
