       01  SYNC-REC.
           05  A               PIC X.
           05  B               PIC S9(4) COMP SYNC.
           05  C               PIC X(3).
           05  D               PIC S9(9) BINARY SYNC.
           05  E               COMP-2 SYNC.
           05  FILLER          PIC X.
           05  T OCCURS 3.
               10  T1          PIC X.
               10  T2          PIC S9(9) COMP SYNC.
               10  FILLER      PIC X.
           05  NT OCCURS 2.
               10  NT1 OCCURS 3 PIC XX.
               10  NT2 OCCURS 2.
                   15  NT3 PIC S9(4) COMP SYNC.
                   15  NT4 PIC X.
           05  F2              PIC XX.
           05  R REDEFINES F2 PIC 99.
           05  G.
               10  G1          PIC X(4).
               10  G2 REDEFINES G1 PIC 9(4).
               10  G3 REDEFINES G1.
                   15 FILLER   PIC XX.
                   15 G3B      PIC XX.
           05  Z               PIC 9(5) COMP-3.
           05  FL              COMP-1.
           05  IX              INDEX.
           05  PT              POINTER.
           05  PP              PROCEDURE-POINTER.
           05  N1              PIC N(3).
           05  G9              PIC G(2) DISPLAY-1.
           05  SS              PIC S9(3) SIGN LEADING SEPARATE.
           05  SP              PIC S99PP.
           05  ED              PIC $ZZ9.99CR BLANK WHEN ZERO.
           05  JJ              PIC X(5) JUST RIGHT.
           66  RN RENAMES A THRU C.
           66  RG RENAMES G.
       01  OTHER REDEFINES SYNC-REC PIC X(200).
       77  SWITCH              PIC 9 VALUE 0.
           88  SWITCH-ON       VALUE 1.
           88  SWITCH-RANGE    VALUE 2 THRU 5, 7.
       01  VREC.
           05  FILLER          PIC X.
           05  CNT             PIC 9.
           05  V OCCURS 0 TO 5 DEPENDING ON CNT PIC X.
           05  AFTER-V         PIC X(2).
           05  FILLER          PIC X.
