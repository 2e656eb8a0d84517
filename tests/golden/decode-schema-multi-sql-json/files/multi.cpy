       01  HDR-REC.
           05  REC-TYPE        PIC X.
           05  BATCH-ID        PIC 9(6).
           05  BATCH-DATE      PIC X(8).
       01  DTL-REC.
           05  REC-TYPE        PIC X.
           05  ACCT            PIC X(10).
           05  PAY-KIND        PIC X.
           05  PAY-CARD.
               10  CARD-NO     PIC 9(16).
               10  CARD-EXP    PIC 9(4).
           05  PAY-BANK REDEFINES PAY-CARD.
               10  IBAN        PIC X(20).
           05  N-AMT           PIC S9(3) COMP.
           05  AMT             PIC S9(11)V99 COMP-3 OCCURS 0 TO 12
                               DEPENDING ON N-AMT.
           05  RATE            COMP-2.
