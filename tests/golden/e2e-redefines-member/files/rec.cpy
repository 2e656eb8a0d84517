      * A redefined member stays in the record as a reference; the
      * redefining one becomes a definition of its own.
       01  REC.
           05  A               PIC X(4).
           05  B REDEFINES A   PIC 9(4).
