       COPY CB REPLACING ==X== BY ==EJECT Y== ==Q== BY ==NOTE R. S==.
