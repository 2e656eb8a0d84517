           01 A-X PIC X.
           01 B-X PIC 9(01).
