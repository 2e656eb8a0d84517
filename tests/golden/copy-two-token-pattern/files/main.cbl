       COPY COUNTERS REPLACING ==VALUE 0== BY ==VALUE 5==
                               ==GRP.== BY ==GROUP-ONE.==.
