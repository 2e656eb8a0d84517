       01 A.
       REPLACE ==OLD== BY ==NEW==.
      *INCLURE MEMBRE X 2
       01 OLD.
