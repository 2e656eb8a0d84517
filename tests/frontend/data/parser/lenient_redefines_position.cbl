       01  REC.
           05  GRP1.
               10  FLD2    PIC X(2).
               10  X REDEFINES FLD2 PIC 99.
           05  GRP2.
               10  FLD2    PIC X(2).
               10  FLD3    PIC X.
               10  Y REDEFINES FLD2 PIC 99.
           05  VAR1        PIC X.
           05  VAR1        PIC X.
           05  Z REDEFINES VAR1 PIC 9.
           05  CNT         PIC 9.
           05  T OCCURS 1 TO 3 DEPENDING ON VAR1 PIC X.
