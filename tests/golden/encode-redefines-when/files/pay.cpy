       01  PAY.
           05  P-KIND   PIC X.
           05  P-CARD   PIC X(8).
           05  P-BANK REDEFINES P-CARD.
               10  P-SORT  PIC 9(4).
               10  P-ACCT  PIC S9(7) COMP-3.
           05  P-AMT    PIC S9(5)V99 COMP-3.
