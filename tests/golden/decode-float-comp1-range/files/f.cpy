       01  F-REC.
           05  F-BIG    COMP-1.
           05  F-MAX    COMP-1.
           05  F-TINY   COMP-1.
           05  F-NEG    COMP-1.
           05  F-ONE    COMP-1.
