           05 A-Y PIC 9 VALUE 1.2.4.
           05 A-B PIC 9 VALUE :V:.
           05 A-Z PIC X VALUE "OPEN
