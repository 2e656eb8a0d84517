       01 A.
           05 B PIC X.
               88 B-YES VALUE 'Y'.
               88 B-NO VALUE 'N'.
           05 C PIC X.
       01 R2 PIC X.
           88 R2-SET VALUE 'S'.
