       IDENTIFICATION DIVISION.
       PROGRAM-ID. SWITCHER.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  FIXED-REC.
           05 FIXED-A      PIC X(4).
       >>SOURCE FORMAT IS FREE
01 FREE-REC. *> written in the free format, beyond column 72 ........................................
   05 FREE-A PIC 9(8) COMP-3.
   05 FREE-B PIC X(3).
>>SOURCE FORMAT FIXED
       01  BACK-TO-FIXED.
           05 FIXED-B      PIC X(2).                                    SEQ00100
       PROCEDURE DIVISION.
           GOBACK.
