       01 PART-REC.
           COPY PARTS REPLACING ==PART-NAME== BY
                                ==PART-NAME-1 PIC X(10).
             05 PART-NAME-2==.
