       01 LOOP-REC.
           COPY LOOPER REPLACING ==A== BY ==B==.
