-INC custmem
       01 A.
-INCLUDE OTHER.
