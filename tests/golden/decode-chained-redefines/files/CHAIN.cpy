       01  CH-REC.
           05  CH-KEY          PIC X(3).
           05  CH-A            PIC X(10).
           05  CH-B REDEFINES CH-A PIC 9(4).
           05  CH-C REDEFINES CH-B.
               10  CH-C1       PIC X(2).
               10  CH-C2       PIC S9(5) COMP-3.
           05  CH-D REDEFINES CH-C PIC X(6).
           05  CH-AFTER        PIC S9(4) COMP.
           05  CH-GRP.
               10  CH-G1       PIC X(4).
               10  CH-G2 REDEFINES CH-G1 PIC 9(4).
               10  CH-G3 REDEFINES CH-G2 PIC S9(7) COMP-3.
               10  CH-G4       PIC X(2).
           05  CH-TAIL         PIC S9(3)V99.
