           05 A KIND X(4).
           05 B KIND 9(3)V99 VALUE 1.5.
           05 C KIND
              S9(4) COMP.
