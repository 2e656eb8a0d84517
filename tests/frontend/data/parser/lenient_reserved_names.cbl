       01  REC.
           05  EMPTY           PIC X(6).
           05  FEEDBACK        PIC X.
               88  MATCH       VALUE 'Y'.
               88  VALUES      VALUE 'N'.
           05  TAB OCCURS 12 TIMES PIC X.
           05  DISPLAY PIC X.
           05  DATE            PIC X(8).
       66  RECORD RENAMES EMPTY.
       77  ADDRESS             PIC X.
