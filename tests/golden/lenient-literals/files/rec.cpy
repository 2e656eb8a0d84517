      * H'..' hexadecimal literals, & concatenation, VALUE NULL on an 88.
       01  REC.
           05  TEXT-Z          PIC X(3) VALUE 'AB' & X'00'.
           05  TEXT-J          PIC X(4) VALUE 'AB' & "CD".
           05  BYTE-H          PIC X VALUE H'01'.
           05  BYTE-L          PIC X VALUE h'0f'.
           05  PTR             POINTER.
               88  PTR-NULL    VALUE NULL.
