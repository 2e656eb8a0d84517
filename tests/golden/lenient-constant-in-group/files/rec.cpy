      * A constant between the members of a group takes no storage and
      * ends nothing: COBOL-OP and the GRP members stay in REC.
       01  REC.
           05  ACTION-TYPE     PIC X.
           78  COBOL-TYPE      VALUE X'FA'.
           05  COBOL-OP        PIC X.
           05  GRP.
               10  INNER       PIC X.
                   88  INNER-ON VALUE 'Y'.
               78  IN-GRP      VALUE 3.
               10  INNER-2     PIC X(IN-GRP).
           05  LAST-MEMBER     PIC X(2).
       01  NEXT-REC            PIC X.
