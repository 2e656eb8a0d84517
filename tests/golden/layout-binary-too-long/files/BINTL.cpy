       01  BT-REC.
           05  BT-OK           PIC S9(18) COMP.
           05  BT-WIDE         PIC S9(19) COMP.
