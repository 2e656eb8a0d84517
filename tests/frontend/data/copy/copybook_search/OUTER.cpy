       01 WRONG.
