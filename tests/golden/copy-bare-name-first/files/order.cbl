       01 ORDER-REC.
           COPY ORDLINE.
