       01 EMPLOYEE.
           COPY 'hr/empname'.
