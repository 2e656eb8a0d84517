           05 D PIC ZZ.ZZ.
