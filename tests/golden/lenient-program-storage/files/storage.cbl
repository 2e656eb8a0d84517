       IDENTIFICATION DIVISION.
       PROGRAM-ID. STORAGE.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  SHARED-AREA         PIC X(12) EXTERNAL AS "SHARED".
       01  MSG-AREA            BASED.
           05  MSG-LEN         PIC 9(4) COMP.
           05  MSG-TEXT        PIC X(80).
       01  WS-CURSOR IS SPECIAL-NAMES CURSOR.
           05  WS-ROW          PIC 9(3).
           05  WS-COL          PIC 9(3).
       77  WS-STATUS           PIC 9(4) IS SPECIAL-NAMES CRT STATUS.
       LINKAGE SECTION.
       01  LK-TEXT             PIC X ANY LENGTH.
       01  LK-TABLE.
           05  LK-COUNT        PIC 9(8) COMP.
           05  LK-ROW OCCURS 1 TO UNBOUNDED
                      DEPENDING ON LK-COUNT.
               10  LK-CODE     PIC X(4).
       PROCEDURE DIVISION USING LK-TEXT LK-TABLE.
           DISPLAY LK-TEXT
           GOBACK.
