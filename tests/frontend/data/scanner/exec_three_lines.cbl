       EXEC SQL
           INCLUDE SQLCA
       END-EXEC.
