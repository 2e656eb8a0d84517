       01 AB-HISTORY-REC.
           05 AB-DATE     PIC 9(8).
           05 OLD-REC     PIC X(40).
           05 RECORD-TYPE PIC X.
