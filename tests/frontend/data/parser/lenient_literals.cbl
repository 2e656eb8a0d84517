       01  REC.
           05  A    PIC X VALUE H'01'.
           05  B    PIC X VALUE h'0f'.
           05  C    PIC X(3) VALUE 'AB' & X'00'.
           05  D    PIC X(3) VALUE 'A' & "B'" & 'C'.
           05  E    PIC X(2) VALUE X'0' & 'A'.
           05  H    PIC X.
           05  F    PIC X VALUE H '01'.
           05  G    PIC X VALUE 'A' & .
           05  P    POINTER.
               88  NO-P  VALUE NULL.
           05  Q    POINTER VALUE NULL.
