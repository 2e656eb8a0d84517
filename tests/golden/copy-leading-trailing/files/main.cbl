       COPY HIST REPLACING LEADING ==AB== BY ==CD==
                           TRAILING ==REC== BY ==ROW==.
