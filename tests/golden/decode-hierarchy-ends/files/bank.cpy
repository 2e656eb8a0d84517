       01  CUSTOMER.
           05  C-SEG        PIC X.
           05  C-ID         PIC 9(4).
           05  C-NAME       PIC X(10).
           05  FILLER       PIC X(5).
       01  ACCOUNT.
           05  A-SEG        PIC X.
           05  A-NO         PIC X(8).
           05  A-BAL        PIC S9(7)V99 COMP-3.
           05  FILLER       PIC X(6).
       01  TXN.
           05  T-SEG        PIC X.
           05  T-DATE       PIC 9(8).
           05  T-AMT        PIC S9(5)V99 COMP-3.
           05  T-KIND       PIC X.
           05  FILLER       PIC X(6).
