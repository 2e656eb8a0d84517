           05 A(1). 05 B.
           05 LAST.
