       01 REC COPY RECX.
       01 AFTER PIC X.
