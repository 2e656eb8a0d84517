       >>DEFINE WIDE-KEYS AS 1
       IDENTIFICATION DIVISION.
       PROGRAM-ID. DIRECT.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  KEY-REC.
       >>IF WIDE-KEYS IS DEFINED
           05 KEY-A        PIC X(16).
       >>ELSE
           05 KEY-A        PIC X(8).
       >>END-IF
       >>IF NARROW DEFINED
           05 NOT-HERE     PIC X.
       >>END-IF
       >>TURN EC-ALL CHECKING ON
           05 KEY-B        PIC 9(2).
       PROCEDURE DIVISION.
           GOBACK.
