           05 A PIC X.
           COPY INNER.
