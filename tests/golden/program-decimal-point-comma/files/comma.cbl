       IDENTIFICATION DIVISION.
       PROGRAM-ID. EUROAMT.
       ENVIRONMENT DIVISION.
       CONFIGURATION SECTION.
       SPECIAL-NAMES.
           CURSOR IS WS-CURSOR
           CRT STATUS IS WS-CRT
           DECIMAL-POINT IS COMMA.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  WS-CURSOR           PIC 9(4).
       01  WS-CRT              PIC 9(4).
       01  WS-AMOUNTS.
           05  WS-PRICE        PIC 9(3)V99 VALUE 12,5.
           05  WS-RATE         PIC S9V9(3) VALUE -1,125.
               88  RATE-FLAT   VALUE 0,5 1,25.
           05  WS-SHOWN        PIC ZZZ.ZZ9,99.
           05  WS-PLAIN        PIC 9(3) VALUE 7.
       PROCEDURE DIVISION.
           DISPLAY WS-PRICE
           GOBACK.
