       01 REC.
           05 FIELD-A.
       FD-X 50.
         100-A.
