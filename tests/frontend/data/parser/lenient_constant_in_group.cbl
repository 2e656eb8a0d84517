       78  FIRST-CONST VALUE 1.
       01  REC.
           78  AFTER-HEAD VALUE 2.
           05  ACTION-TYPE PIC X.
           78  COBOL-TYPE VALUE X'FA'.
           05  COBOL-OP  PIC X.
           05  GRP.
               10  INNER PIC X.
                   88  INNER-ON VALUE 'Y'.
               78  IN-GRP VALUE 3.
               10  INNER-2 PIC X.
           78  LAST-CONST VALUE 4.
       01  REC2 PIC X.
