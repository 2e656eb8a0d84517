       01  ACCT.
           05  ACCT-ID      PIC 9(4).
           05  ACCT-NAME    PIC X(6).
           05  ACCT-BAL     PIC S9(5)V99 COMP-3.
           05  ACCT-RATE    PIC S9(3)V9 SIGN TRAILING.
           05  ACCT-COUNT   PIC S9(4) COMP.
           05  FILLER       PIC X(2).
