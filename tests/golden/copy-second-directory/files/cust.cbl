       01 CUSTOMER.
           COPY CUSTADDR.
