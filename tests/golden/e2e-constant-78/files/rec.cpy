       01  REC                 PIC X(4).
       78  MAX-LINES           VALUE 10.
