       01  CN-REC.
           05  CN-ID        PIC 9(3).
           05  CN-NAME      PIC G(3) DISPLAY-1.
           05  CN-NOTE      PIC X(12).
