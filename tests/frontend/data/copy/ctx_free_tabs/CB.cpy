	05 X	X(4).
  05	B PIC X.
