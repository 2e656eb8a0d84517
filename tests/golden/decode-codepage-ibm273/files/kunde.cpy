       01  KUNDE.
           05  K-NAME   PIC X(10).
           05  K-ORT    PIC X(10).
           05  K-BETRAG PIC S9(5)V99 COMP-3.
