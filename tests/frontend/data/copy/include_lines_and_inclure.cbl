       01 A.
-INC member
-INCLUDE OTHER.
      *INCLURE MEMBRE X 2
       01 C.
