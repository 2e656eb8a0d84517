      * Names keep their spelling. Whether an entry is redefined is decided
      * by comparing the redefining entry's operand as written with the
      * entry's normalised name, so in lower case only the redefining entry
      * is seen.
       01  rec.
           05  a   pic x(2).
           05  b   redefines a pic 99.
