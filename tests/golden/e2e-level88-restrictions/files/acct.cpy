       01  ACCOUNT.
           05  ACCT-NO         PIC 9(8).
           05  ACCT-STATUS     PIC X.
               88  ACCT-OPEN   VALUE "O".
               88  ACCT-CLOSED VALUE "C".
               88  ACCT-FROZEN VALUE "F".
