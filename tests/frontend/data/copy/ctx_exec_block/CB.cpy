           05 HOST-VAR PIC X.
           EXEC SQL DECLARE T TABLE
             ( C1 CHAR(4) ) END-EXEC.
           05 LAST PIC X.
