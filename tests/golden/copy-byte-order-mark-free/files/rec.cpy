01 REC.
*> Both files start with a UTF-8 byte-order mark, which is no
*> program text.
  05 LEAD PIC X.
  COPY SUB.
