       REPLACE ==OLD== BY ==NEW==.
       05  A   COPY X
        COPY MAIN.
