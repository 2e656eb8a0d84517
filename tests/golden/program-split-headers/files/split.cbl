       IDENTIFICATION
           DIVISION.
       PROGRAM-ID. SPLITHDR.
       DATA
           DIVISION
           .
       WORKING-STORAGE
           SECTION.
       01  WS-REC.
           05  WS-CODE         PIC X(4).
           05  WS-AMOUNT       PIC S9(5)V99 COMP-3.
       LINKAGE SECTION.
       01  LK-PARM             PIC X(8).
       PROCEDURE
           DIVISION USING LK-PARM.
           DISPLAY WS-CODE
           GOBACK.
