      * The object of REDEFINES is the preceding entry of the same level.
       01  REC.
           05  GRP1.
               10  FLD2        PIC X(2).
               10  NUM1 REDEFINES FLD2 PIC 99.
           05  GRP2.
               10  FLD2        PIC X(2).
               10  NUM2 REDEFINES FLD2 PIC 99.
