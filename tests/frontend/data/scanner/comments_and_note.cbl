000010* first comment
       01 A.
000030/ new page
       01 B. *> trailing
       NOTE the note runs
            up to its period. 01 C.
