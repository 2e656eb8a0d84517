       01 OLD-REC.
           05 OLD PIC X.
           COPY INNER REPLACING ==IN-A== BY ==IN-B==.
