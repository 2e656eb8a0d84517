       IDENTIFICATION DIVISION.
       PROGRAM-ID. READORD.
       ENVIRONMENT DIVISION.
       INPUT-OUTPUT SECTION.
       FILE-CONTROL.
           SELECT ORDER-FILE ASSIGN TO "orders.dat".
       DATA DIVISION.
       FILE SECTION.
      * The copybook holds the FD with its record.
           COPY ORDFD.
       WORKING-STORAGE SECTION.
       01  WS-COUNT            PIC 9(5) COMP-3.
       PROCEDURE DIVISION.
           OPEN INPUT ORDER-FILE
           CLOSE ORDER-FILE
           GOBACK.
