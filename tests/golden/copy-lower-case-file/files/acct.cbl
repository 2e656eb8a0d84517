       01 ACCOUNT.
           COPY ACCTBAL.
