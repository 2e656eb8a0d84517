       01  BAD.
           05  B-ID     PIC 9(3).
           05  B-NAME   PIC X(5).
           05  B-AMT    PIC S9(3)V99 COMP-3.
           05  B-CODE   PIC X(2).
           05  B-NUM REDEFINES B-CODE PIC S9(3) COMP-3.
           05  B-CNT    PIC 9.
           05  B-TAB OCCURS 1 TO 2 DEPENDING ON B-CNT PIC X.
