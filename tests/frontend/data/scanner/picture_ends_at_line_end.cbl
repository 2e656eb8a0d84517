           05 F PIC
               $$,$$9.99+
               VALUE ZERO.
