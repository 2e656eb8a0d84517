           05 LONG-
      -    NAME PIC X.
           05 OTHER-LONG-N
      -    AME PIC X.
