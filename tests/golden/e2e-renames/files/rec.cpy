       01  REC.
           05  FIRST-NAME      PIC X(10).
           05  LAST-NAME       PIC X(20).
       66  FULL-NAME RENAMES FIRST-NAME THRU LAST-NAME.
