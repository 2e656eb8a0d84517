          05 STREET    PIC X(30).
          05 CITY.
             10 TOWN   PIC X(16).
             10 ZIP    PIC X(4).
          05 CITY-ALL  REDEFINES CITY PIC X(20).
