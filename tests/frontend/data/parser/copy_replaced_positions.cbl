       01 REC COPY RECX REPLACING ==OLD== BY ==NEW-NAME==
           ==9== BY ==X==.
