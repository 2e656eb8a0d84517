      * A reference to a repeated name is ambiguous: still an error.
       01  REC.
           05  CNT             PIC 9.
           05  CNT             PIC 9.
           05  TAB OCCURS 1 TO 5 DEPENDING ON CNT PIC X.
