       01 A.
           05 B PIC X.
       77 N PIC 9.
       78 K VALUE 1.
       01 R.
           05 F PIC X.
