           GRP PIC X.
           LVL A PIC X.
           LVL 66 RR RENAMES A.
           88 YES VALUE 'Y'.
