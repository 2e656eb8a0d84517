           05 B PIC X.
      *INCLURE MEMBRE X 2
