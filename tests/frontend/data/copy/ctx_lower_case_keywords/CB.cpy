           05 amt pic 9(4) value zero.
           05 amt-2 Pic X Value Spaces.
           05 f occurs 2 times pic x.
