      * A fragment of a record: no 01 entry.
           05  CUST-ID         PIC 9(6).
           05  CUST-ADDR.
               10  STREET      PIC X(30).
               10  CITY        PIC X(20).
           05  CUST-BAL        PIC S9(7)V99 COMP-3.
