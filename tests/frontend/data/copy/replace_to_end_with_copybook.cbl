       REPLACE ==OLD== BY ==NEW==.
       01 OLD.
       COPY CB.
       01 OLD-TOO.
