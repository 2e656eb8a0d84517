           05 V PIC 9,999.99, VALUE 1; 05 V2 PIC X(2),VALUE 'A'.
           05 V3, PIC ZZ,ZZ9.
