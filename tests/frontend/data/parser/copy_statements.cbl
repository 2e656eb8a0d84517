       01 S.
       COPY MORE OF LIB SUPPRESS.
          05 B PIC X.
       01 R COPY RECX.
