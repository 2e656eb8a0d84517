      * Customer record: the layout of the customer master file.
       01  CUST-REC.
           05  CUST-ID             PIC 9(6).
           05  CUST-NAME           PIC X(30).
