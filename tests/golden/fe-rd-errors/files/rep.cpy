      * Broken report entries among good ones: a word for a page line, LINE
      * PLUS without its integer, a missing period, and NEXT PAGE after
      * NEXT GROUP (it belongs to LINE only). Each costs one message, the
      * entries after it are still read, and a SOURCE naming nothing
      * declared is reported when references are resolved. A CD and a
      * second RD follow the first RD.
       01  ITEM-REC.
           05  ITEM-NO         PIC 9(6).
       RD  ITEM-REPORT PAGE LIMIT 60 HEADING ONE.
       01  TYPE PH LINE 1.
           05  COLUMN 1        PIC X(5) VALUE 'ITEMS'.
       01  ITEM-LINE TYPE DE LINE PLUS.
           05  COLUMN 1        PIC 9(6) SOURCE ITEM-NO
           05  COLUMN 9        PIC X(8) SOURCE ITEM-NAME.
       01  TYPE RF LINE 5 NEXT GROUP 7 NEXT PAGE.
       CD  ITEM-INPUT FOR INPUT.
       01  ITEM-MSG            PIC X(80).
       RD  SECOND-REPORT.
       01  TYPE DE LINE 2 COLUMN 1 PIC X SOURCE ITEM-NO.
