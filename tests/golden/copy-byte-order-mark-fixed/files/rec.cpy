000100 01  REC.
000200* Both files start with a UTF-8 byte-order mark; once the first
000300* line (REC) was dropped, its columns shifted by three.
000400     05  LEAD            PIC X.
000500     COPY SUB.
