       01 R OCCURS.
