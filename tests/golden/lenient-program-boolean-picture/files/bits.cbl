       IDENTIFICATION DIVISION.
       PROGRAM-ID. BITS.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  WS-FLAGS.
           05  WS-MASK         PIC 1(8).
           05  WS-PAIR         PIC 11 VALUE B'01'.
           05  WS-NAME         PIC X(4).
       PROCEDURE DIVISION.
           DISPLAY WS-NAME
           GOBACK.
