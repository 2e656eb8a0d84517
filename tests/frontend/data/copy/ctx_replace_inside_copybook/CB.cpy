           05 X PIC X.
           REPLACE ==Z== BY ==W==.
           05 Z PIC X.
           05 X PIC X.
