           05 F1 PIC X.
           05 F2.
              10 F21 PIC 9.
