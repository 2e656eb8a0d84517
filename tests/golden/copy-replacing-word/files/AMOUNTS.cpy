           05 X     PIC 9(5)V99.
           05 X-1   PIC 9(5)V99.
           05 X-DUE PIC A(10).
