       01 INVOICE.
           05 INV-NO PIC 9(6).
           COPY MISSING.
       01 INVOICE-END PIC X.
