       01  ORDER-HEAD.
           05  OH-TYPE      PIC X.
           05  OH-ORDER     PIC 9(5).
           05  OH-CUST      PIC X(10).
