       01  CUST-REC.
           05  CUST-CODE       PIC 9(2) VALUE 10 20.
           05  CUST-NAME       PIC X(30).
