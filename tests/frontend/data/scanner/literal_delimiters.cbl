           VALUE 'IT''S' "SAY ""HI""" 'A"B' X'0A0B' N'AB' G"XY" Z'Z' ''.
