      * A complete program: FD records, WORKING-STORAGE and LINKAGE
      * convert; the other divisions are skipped as text.
       IDENTIFICATION DIVISION.
       PROGRAM-ID. CUSTRPT.
       ENVIRONMENT DIVISION.
       INPUT-OUTPUT SECTION.
       FILE-CONTROL.
           SELECT CUST-FILE ASSIGN TO "CUST.DAT"
               ORGANIZATION IS LINE SEQUENTIAL.
           SELECT SORT-WORK ASSIGN TO "SORTWK".
           COPY NOTREAD.
       DATA DIVISION.
       FILE SECTION.
       FD  CUST-FILE
           RECORD CONTAINS 43 CHARACTERS
           BLOCK CONTAINS 0 RECORDS
           LABEL RECORDS ARE STANDARD
           RECORDING MODE IS F
           DATA RECORD IS CUST-REC.
       01  CUST-REC.
           05 CUST-ID      PIC 9(6).
           05 CUST-NAME    PIC X(30).
           05 CUST-BAL     PIC S9(5)V99 COMP-3.
       01  CUST-TRAILER REDEFINES CUST-REC.
           05 TRL-COUNT    PIC 9(6).
           05 FILLER       PIC X(34).
       SD  SORT-WORK.
       01  SORT-REC.
           05 SORT-KEY     PIC X(6).
           05 SORT-DATA    PIC X(37).
       WORKING-STORAGE SECTION.
       01  WS-COUNTERS.
           05 WS-COUNT     PIC 9(4) COMP VALUE 0.
           05 WS-EOF       PIC X VALUE 'N'.
              88 AT-END    VALUE 'Y'.
       77  WS-TOTAL        PIC S9(9)V99 COMP-3 VALUE ZERO.
       LINKAGE SECTION.
       01  LK-PARM.
           05 LK-LEN       PIC S9(4) COMP.
           05 LK-TEXT      PIC X(100).
       PROCEDURE DIVISION USING LK-PARM.
       MAIN-PARA.
           OPEN INPUT CUST-FILE
           PERFORM UNTIL AT-END
              READ CUST-FILE AT END SET AT-END TO TRUE
              END-READ
              ADD 1 TO WS-COUNT
           END-PERFORM
           CLOSE CUST-FILE
           GOBACK.
