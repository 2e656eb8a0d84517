           05 STREET   PIC X(30).
           05 ZIP-CODE PIC 9(5).
