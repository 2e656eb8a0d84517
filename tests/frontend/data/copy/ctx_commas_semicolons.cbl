       COPY CB REPLACING ==V== BY ==W==.
