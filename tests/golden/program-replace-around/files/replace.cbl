       REPLACE ==:PFX:== BY ==CUST==
               ==:ID:== BY ==NUMBER==.
       IDENTIFICATION DIVISION.
       PROGRAM-ID. FIRSTPGM.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  :PFX:-REC.
           05  :PFX:-NAME      PIC X(20).
           05  :PFX:-:ID:      PIC 9(6).
       PROCEDURE DIVISION.
           DISPLAY :PFX:-NAME
           GOBACK.
       END PROGRAM FIRSTPGM.
      * In force for the text after it: the second program's records.
       REPLACE ==:PFX:== BY ==ORDER==
               ==:ID:== BY ==KEY==.
       IDENTIFICATION DIVISION.
       PROGRAM-ID. SECONDPGM.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  :PFX:-REC.
           05  :PFX:-NAME      PIC X(20).
           05  :PFX:-:ID:      PIC X(8).
       PROCEDURE DIVISION.
           DISPLAY :PFX:-NAME
           GOBACK.
       END PROGRAM SECONDPGM.
