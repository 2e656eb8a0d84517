       COPY CB REPLACING ==VALUE 0== BY ==== ==A== BY ====.
