       01  SEG.
           05  SEG-ID   PIC X.
           05  A-PART.
               10  A-NAME  PIC X(6).
               10  A-AMT   PIC S9(3) COMP-3.
           05  B-PART REDEFINES A-PART.
               10  B-CODE  PIC X(2).
