       A, B; C.
