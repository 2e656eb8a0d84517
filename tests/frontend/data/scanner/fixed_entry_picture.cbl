000100     05  CUST-NAME   PIC X(30).                                   CUST0001
