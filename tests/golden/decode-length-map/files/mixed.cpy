       01  H-REC.
           05  H-TYPE       PIC X.
           05  H-DATE       PIC 9(8).
       01  D-REC.
           05  D-TYPE       PIC X.
           05  D-ID         PIC 9(4).
           05  D-AMT        PIC S9(5) COMP-3.
       01  T-REC.
           05  T-TYPE       PIC X.
           05  T-COUNT      PIC S9(4) COMP.
