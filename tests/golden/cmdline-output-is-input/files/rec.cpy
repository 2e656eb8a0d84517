      * -o names this file under another spelling: refused, untouched.
       01  REC.
           05  LEAD            PIC X.
