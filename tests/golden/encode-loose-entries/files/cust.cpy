      * Copied under a record: no 01 of its own.
           05  CUST-ID        PIC 9(4).
           05  CUST-NAME      PIC X(6).
           05  CUST-CODE REDEFINES CUST-NAME PIC X(2).
           05  CUST-BAL       PIC S9(5)V99 COMP-3.
           05  CUST-PHONES    OCCURS 2.
               10  PHONE      PIC X(3).
