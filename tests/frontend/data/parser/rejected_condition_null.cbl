       01 R.
          88 C VALUE NULL.
