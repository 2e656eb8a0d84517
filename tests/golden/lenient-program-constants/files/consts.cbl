       >>DEFINE CONSTANT MAX-ROWS AS 4
       >>SET CONSTANT SHOP-NAME "Corner Shop"
       $SET CONSTANT CODE-LEN 6
       IDENTIFICATION DIVISION.
       PROGRAM-ID. CONSTS.
       DATA DIVISION.
       WORKING-STORAGE SECTION.
       01  WS-KEY.
           05  WS-CODE         PIC X(CODE-LEN).
           05  WS-SEQ          PIC 9(4) COMP.
       78  KEY-LEN             VALUE LENGTH OF WS-KEY.
       01  KEY-BYTES           CONSTANT AS BYTE-LENGTH OF WS-SEQ.
       01  GREETING            CONSTANT GLOBAL AS "Hello, " & "world".
       78  ROW-COUNT           GLOBAL VALUE KEY-BYTES * 2 + 1.
       01  WS-SHOP.
           05  WS-NAME         PIC X(20) VALUE SHOP-NAME.
           05  WS-GREETING     PIC X(12) VALUE GREETING.
           05  WS-KEY-COPY     PIC X(KEY-LEN).
           05  WS-SEQ-COPY     PIC X(KEY-BYTES).
           05  WS-ROW          OCCURS MAX-ROWS TIMES PIC X(ROW-COUNT).
       PROCEDURE DIVISION.
           DISPLAY WS-NAME
           GOBACK.
