           05  PART-FIELD  PIC 9(4).
