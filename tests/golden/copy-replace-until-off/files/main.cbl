       01 FIRST-REC.
          05 OLD      PIC X(1).
       REPLACE ==OLD== BY ==NEW==.
       01 SECOND-REC.
          05 OLD      PIC X(2).
          05 OLD-TOO  PIC X(3).
       REPLACE OFF.
       01 THIRD-REC.
          05 OLD      PIC X(4).
