       01  EMPLOYEE.
           05  EMP-ID          PIC 9(6).
