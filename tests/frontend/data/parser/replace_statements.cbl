       01 R.
       REPLACE ==PIC X(4).== BY ==PIC X(8).==
               LEADING ==OLD== BY ==NEW==.
          05 OLD-A PIC X(4).
       REPLACE OFF.
          05 OLD-B PIC X(4).
       REPLACE NOTHING.
          05 OLD-C PIC X(4).
