       01  R.
           05  A PIC S9(38) COMP-3.
           05  B PIC S9(37) COMP-3.
