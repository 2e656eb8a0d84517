           VALUE 1.2.3.
