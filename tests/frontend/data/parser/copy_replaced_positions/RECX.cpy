           05 OLD PIC 9.
           05 OLD-2 PIC 9 VALUE.
