       IDENTIFICATION DIVISION.
       PROGRAM-ID. BROKEN.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  WS-REC.
           05 WS-A         PIC X(4).
       PROCEDURE DIVISION.
      * Not COBOL at all: skipped, so no syntax error and no COPY.
           IF X = = THEN (((  01 PIC PIC .
           COPY NOSUCHBOOK REPLACING ==A== BY ==B==.
           MOVE 'A' TO WS-A 05 WS-B PIC X.
           GOBACK.
