           05 A T.
           05 B T VALUE 'ABC'.
