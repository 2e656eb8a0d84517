      *INCLURE MEMBRE X 2
       01 A.
