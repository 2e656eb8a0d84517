       01  REC.
           05  GRP-B.
               10  FLD1  PIC X(2).
               10  FLD2  PIC X(4).
           05  GRP-A.
               10  FLD1  PIC X(2).
               10  FLD2  PIC X(6).
               10  REDEFINES FLD2.
                   15  F3A PIC X(2).
               10  REDEFINES FLD2.
                   15  F4A PIC X(3).
