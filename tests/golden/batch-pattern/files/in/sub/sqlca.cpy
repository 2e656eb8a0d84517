      * Nothing but an embedded SQL statement: no data to convert.
           EXEC SQL INCLUDE SQLCA END-EXEC.
