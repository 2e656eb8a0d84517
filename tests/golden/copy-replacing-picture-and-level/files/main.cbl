       01 ORDER-REC.
          05 ORDER-NO PIC 9(6).
          05 ITEM-GROUP.
          COPY ITEMS REPLACING ==PIC X(4).== BY ==PIC X(8).==
                               ==05== BY ==10==.
