       01  HDR-REC.
           05  H-TYPE   PIC X.
           05  H-DATE   PIC 9(8).
       01  DTL-REC.
           05  D-TYPE   PIC X.
           05  D-AMT    PIC S9(5)V99 COMP-3.
           05  D-NOTE   PIC X(10).
       01  TRL-REC.
           05  T-TYPE   PIC X.
           05  T-COUNT  PIC 9(4) COMP.
