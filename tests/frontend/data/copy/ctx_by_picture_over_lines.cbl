       COPY CB REPLACING ==T== BY ==PIC
             X(3)==.
