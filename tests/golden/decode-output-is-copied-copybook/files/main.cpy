       01  ACCT.
           COPY ACCTFLDS.
