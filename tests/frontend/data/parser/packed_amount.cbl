       01 REC.
           05 AMT PIC s9(05)v99 COMP-3.
