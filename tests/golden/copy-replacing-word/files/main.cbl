       01 PAYMENT.
           COPY AMOUNTS REPLACING ==X== BY ==PAID==.
