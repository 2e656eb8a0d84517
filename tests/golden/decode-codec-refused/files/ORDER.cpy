       01  ORDER-REC.
           05  ORD-ID              PIC 9(8).
           05  ORD-STATUS          PIC X.
               88  ORD-OPEN        VALUE "O".
               88  ORD-CLOSED      VALUE "C".
           05  ORD-AMOUNT          PIC S9(7)V99 COMP-3.
           05  ORD-LINES           PIC S9(4) COMP.
           05  ORD-LINE OCCURS 1 TO 20 DEPENDING ON ORD-LINES.
               10  LINE-ITEM       PIC X(12).
               10  LINE-PRICE      PIC ZZ,ZZ9.99.
