           05 E PIC -ZZ,ZZ9.99CR, VALUE 1,5.
