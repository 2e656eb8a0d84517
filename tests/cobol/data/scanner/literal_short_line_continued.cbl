           VALUE "AB
      -    "CD".
