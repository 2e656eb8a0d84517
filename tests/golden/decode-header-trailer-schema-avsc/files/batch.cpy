       01  HDR-REC.
           05  HDR-TYPE     PIC X.
           05  HDR-DATE     PIC 9(8).
           05  FILLER       PIC X(6).
       01  DTL-REC.
           05  DTL-TYPE     PIC X.
           05  DTL-ID       PIC 9(4).
           05  DTL-AMT      PIC S9(7)V99 COMP-3.
           05  DTL-NAME     PIC X(5).
       01  TRL-REC.
           05  TRL-TYPE     PIC X.
           05  TRL-COUNT    PIC 9(6).
           05  TRL-TOTAL    PIC S9(9)V99 COMP-3.
           05  FILLER       PIC X(2).
