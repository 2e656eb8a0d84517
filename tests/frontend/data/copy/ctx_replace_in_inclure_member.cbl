       01 A.
      *INCLURE MEMBRE H 5
       01 Q.
