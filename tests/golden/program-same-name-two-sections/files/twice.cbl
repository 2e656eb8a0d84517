       IDENTIFICATION DIVISION.
       PROGRAM-ID. TWICE.
       ENVIRONMENT DIVISION.
       INPUT-OUTPUT SECTION.
       FILE-CONTROL.
           SELECT IN-FILE ASSIGN TO "IN.DAT".
           SELECT OUT-FILE ASSIGN TO "OUT.DAT".
       DATA DIVISION.
       FILE SECTION.
       FD  IN-FILE.
       01  REC.
           05 IN-A         PIC X(2).
       FD  OUT-FILE.
       01  REC.
           05 OUT-A        PIC X(3).
       WORKING-STORAGE SECTION.
       01  REC.
           05 WS-A         PIC X(4).
       LINKAGE SECTION.
       01  REC.
           05 LK-A         PIC X(5).
       PROCEDURE DIVISION.
           GOBACK.
