      * Clauses in any order, repeated clauses, unnamed and FILLER entries,
      * conditions, RENAMES and a constant: all accepted.
       01  CUST-REC.
           05  CUST-ID         PIC 9(6).
           05  CUST-AMT        COMP-3 PIC s9(05)v99.
           05  CUST-STATUS     VALUE 'A' PIC X.
               88  ACTIVE      VALUE 'A'.
               88  CLOSED      VALUES ARE 'C' 'X' THRU 'Z'
                               WHEN SET TO FALSE 'A'.
           05  FILLER          PIC X(4).
           05                  PIC X(2) VALUE SPACES.
           05  CUST-ITEMS      PIC 99 COMP COMP.
           05  CUST-LINE       OCCURS 1 TO 10 TIMES
                               DEPENDING ON CUST-ITEMS
                               INDEXED BY LINE-IX.
               10  LINE-TEXT   PIC X(10) JUSTIFIED RIGHT.
           66  CUST-KEY        RENAMES CUST-ID THRU CUST-AMT.
       78  MAX-LINES           VALUE 10.
       77  STANDALONE          PIC X VALUE HIGH-VALUES.
