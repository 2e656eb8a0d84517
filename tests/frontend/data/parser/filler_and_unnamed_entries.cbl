       01 R.
           05 FILLER PIC X.
           05 FILLER PIC X.
           05 PIC X.
           05 PIC X.
