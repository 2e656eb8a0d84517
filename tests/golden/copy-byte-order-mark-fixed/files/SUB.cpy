000100     05  FROM-SUB        PIC X(2).
