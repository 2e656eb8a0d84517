       working_storage Section.
           05 pic x. 05 Pic X.
           COMPUTATIONAL-3 comp-3 CORR OTHERWISE INCLUDE .
