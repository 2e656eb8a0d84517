000100******************************************************************PAYREC
000200* PAYMENT RECORD - DAILY SETTLEMENT FILE                          PAYREC
000300******************************************************************PAYREC
000400 01  PAYMENT-RECORD.                                              PAYREC
000500     05  PAY-KEY.                                                 PAYREC
000600         10  PAY-BRANCH          PIC 9(4).                        PAYREC
000700         10  PAY-SEQ-NO          PIC 9(9)      COMP.              PAYREC
000800     05  PAY-TYPE                PIC X.                           PAYREC
000900         88  PAY-CASH            VALUE 'C'.                       PAYREC
001000         88  PAY-CHEQUE          VALUE 'Q'.                       PAYREC
001100         88  PAY-TRANSFER        VALUE 'T'.                       PAYREC
001200     05  PAY-DATE                PIC 9(8).                        PAYREC
001300     05  PAY-DATE-R REDEFINES PAY-DATE.                           PAYREC
001400         10  PAY-YYYY            PIC 9(4).                        PAYREC
001500         10  PAY-MM              PIC 99.                          PAYREC
001600         10  PAY-DD              PIC 99.                          PAYREC
001700     05  PAY-AMOUNT              PIC S9(11)V99 COMP-3.            PAYREC
001800     05  PAY-FEE                 PIC S9(5)V99                     PAYREC
001900                                 SIGN LEADING SEPARATE.           PAYREC
002000     05  PAY-AMOUNT-PRT          PIC ZZZ,ZZZ,ZZ9.99-.             PAYREC
002100     05  PAY-CURRENCY            PIC X(3)      VALUE 'EUR'.       PAYREC
002200     05  FILLER                  PIC X(5)      VALUE SPACES.      PAYREC
002300     05  PAY-NOTE-COUNT          PIC 9(2)      COMP.              PAYREC
002400     05  PAY-NOTE                OCCURS 0 TO 5 TIMES              PAYREC
002500                                 DEPENDING ON PAY-NOTE-COUNT.     PAYREC
002600         10  NOTE-CODE           PIC X(2).                        PAYREC
002700         10  NOTE-TEXT           PIC X(40).                       PAYREC
002800     05  PAY-HISTORY             OCCURS 12 TIMES.                 PAYREC
002900         10  HIST-AMOUNT         PIC S9(7)V99  COMP-3.            PAYREC
003000         10  HIST-COUNT          PIC S9(4)     BINARY.            PAYREC
003100     05  FILLER                  PIC X(10).                       PAYREC
