           05 A PIC X.
           COPY LOOPER.
