       WORKING-STORAGE SECTION.
       01  CUST-REC.
           05  CUST-ID         PIC 9(6).
