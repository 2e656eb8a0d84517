      * Eight broken entries among good ones (F7 is fine): each is reported once.
       01  BIG-REC.
           05  F1              PIC X(4).
           05  F2              PIC X(4) VALUE 'A' 'B'.
           05  F3              PIC 9(4) COMP-3.
           05  F4              OCCURS TIMES PIC X.
           05  F5              PIC X(2).
           05  F6              PICTURE X(3) JUSTIFIED LEFT.
           05  F7              PIC S9(5) SIGN LEADING.
           05  F8              USAGE IS INDEX IS.
           05  F9              PIC X(8).
           05  F10             BLANK WHEN SPACE.
           05  F11 REDEFINES   F9 F10 PIC X(8).
           05  F12             PIC X(8) VALUE ALL.
           05  F13             PIC X(8) SYNC CENTER.
           05  F14             PIC X(8).
