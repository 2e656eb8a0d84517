           05 A, B PIC X; 05 C PIC X(2),VALUE 'A'.
