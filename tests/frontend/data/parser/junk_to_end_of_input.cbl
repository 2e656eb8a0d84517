       01 R PIC X.
        ) ) ) ( (
