       >>DEFINE WIDE AS 1
       01  KEY-REC.
       >>IF WIDE DEFINED
           05 KEY-A        PIC X(16).
       >>ELSE
           05 KEY-A        PIC X(8).
       >>END-IF
       >>IF FUNCTION-THING > 2
           05 KEY-B        PIC X(2).
       >>END-IF
       >>CALL-CONVENTION COBOL
       >>SOURCE FORMAT IS FREE
           05 KEY-C PIC 9(4) COMP. *> free format from here on, beyond column 72 ...........
