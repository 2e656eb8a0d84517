       REPLACE ==B== BY ==C PIC==.
       01 B X
