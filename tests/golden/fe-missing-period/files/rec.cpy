      * A record whose second field lacks its closing period.
       01  CUST-REC.
           05  CUST-ID         PIC 9(6)
           05  CUST-NAME       PIC X(30).
           05  CUST-AMT        PIC S9(7)V99 COMP-3.
