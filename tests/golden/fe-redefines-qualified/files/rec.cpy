       01  CUST-REC.
           05  CUST-ID         PIC 9(6).
           05  CUST-ID-X REDEFINES CUST-ID OF CUST-REC PIC X(6).
