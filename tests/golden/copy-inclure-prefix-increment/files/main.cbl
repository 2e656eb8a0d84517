       01 CUSTOMER.
          05 CUST-ID   PIC 9(6).
          05 HOME-ADDR.
      *INCLURE ADDRBLK H 5
          05 CUST-END  PIC X.
