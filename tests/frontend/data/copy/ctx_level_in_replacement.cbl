       01 R.
       COPY CB REPLACING ==LVL== BY ==10== ==GRP== BY ==05 G.
              10 H==.
