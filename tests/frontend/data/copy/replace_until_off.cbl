       01 A.
       REPLACE ==PIC X== BY ==PIC 9==.
       05 B PIC X. 05 C PIC  X.
       REPLACE OFF.
       05 D PIC X.
