       COPY CB REPLACING
           ==XN== BY ==LONGER-NAME==.
       01 Z.
