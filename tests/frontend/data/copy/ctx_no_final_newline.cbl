       COPY CB REPLACING ==X== BY ==Y PIC==.
