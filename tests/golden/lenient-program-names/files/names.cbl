       IDENTIFICATION DIVISION.
       PROGRAM-ID. NAMES.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  WS-DATE             PIC X(8).
       01  WS-DATE             PIC X(8).
      * By position: the record right before it, the second WS-DATE.
       01  WS-DATE-NUM         REDEFINES WS-DATE PIC 9(8).
       77  NOTE                PIC X(5).
       01  WS-COUNTERS.
           05  WS-HALF         PIC S9(4) COMP-0.
           05  WS-UHALF        PIC 9(3) COMP-0.
       PROCEDURE DIVISION.
           DISPLAY NOTE
           GOBACK.
