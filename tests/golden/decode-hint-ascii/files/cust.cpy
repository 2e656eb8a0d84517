       01  CUST.
           05  CUST-ID      PIC 9(6).
           05  CUST-NAME    PIC X(20).
           05  CUST-CITY    PIC X(14).
