      $SET SOURCEFORMAT"FREE"
*> A program in the free format, switched on the way another vendor's
*> compilers do it.
IDENTIFICATION DIVISION.
PROGRAM-ID. MFPROG.
DATA DIVISION.
WORKING-STORAGE SECTION.
01 WS-REC.
   05 WS-KEY    PIC X(12).
   05 WS-AMOUNT PIC S9(7)V99 COMP-3. *> text beyond column 72 ..................................
$SET ANS85
PROCEDURE DIVISION.
    DISPLAY WS-KEY
    GOBACK.
