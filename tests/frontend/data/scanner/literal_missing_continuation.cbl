           VALUE 'ABC
           05 B.
