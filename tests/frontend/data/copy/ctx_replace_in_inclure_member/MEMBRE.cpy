           05 M PIC X.
           REPLACE ==Q== BY ==R==.
           05 Q PIC X.
