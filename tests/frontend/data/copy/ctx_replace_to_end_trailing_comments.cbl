       01 A.
       REPLACE ==B== BY ==C==.
           05 B PIC X
      * a comment

