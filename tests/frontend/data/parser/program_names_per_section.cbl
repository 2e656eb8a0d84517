       WORKING-STORAGE SECTION.
       01  REC          PIC X.
       01  OTHER        PIC X.
       01  OTHER        PIC X.
       LINKAGE SECTION.
       01  REC          PIC X.
