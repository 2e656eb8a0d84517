      * FLAGS has a condition as its first subordinate entry, so it is
      * an elementary item, and it has no picture.
       01  REC.
           05  FLAGS.
               88  FLAG-ON     VALUE "Y".
               10  FLAG-1      PIC X.
           05  AFTER           PIC X.
