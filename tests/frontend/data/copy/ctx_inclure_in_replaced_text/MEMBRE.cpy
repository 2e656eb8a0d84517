           03 OLD REDEFINES N PIC X.
           03 OLD-2 PIC X.
