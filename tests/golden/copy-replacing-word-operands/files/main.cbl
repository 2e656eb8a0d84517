       01 PART-REC.
           COPY PARTS REPLACING OLD-NAME BY NEW-NAME
                                PART-QTY OF PART-REC BY QTY-ON-HAND
                                12 BY 14.
