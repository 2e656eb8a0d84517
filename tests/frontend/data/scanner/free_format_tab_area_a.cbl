01 REC.
	05 A PIC X.
  05 B.
D 05 DEBUG.
*> note
