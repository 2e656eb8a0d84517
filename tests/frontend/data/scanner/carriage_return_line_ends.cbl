       01 A.
      * note
           05 B VALUE 'X
      -    'Y'.
