       COPY CB REPLACING ==V1== BY ==1.2.3== ==V2== BY =='AB''C'==
           ==V3== BY ==X"41"==.
