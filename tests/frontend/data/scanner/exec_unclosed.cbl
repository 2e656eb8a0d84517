       01 A.
       EXEC CICS
          SEND
