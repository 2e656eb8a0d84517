       01  EMPLOYEE.
           05  EMP-ID          PIC 9(6).
           05  EMP-NAME        PIC X(30).
