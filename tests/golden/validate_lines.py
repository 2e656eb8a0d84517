"""Checks every line of a JSON Lines file against a JSON Schema (draft 2020-12), numbers
read as exact decimals so that multipleOf 0.01 means what it says:
validate_lines.py SCHEMA LINES. Exit 1 with the first line that fails."""

import json
import sys
from decimal import Decimal

import jsonschema

with open(sys.argv[1]) as f:
    validator = jsonschema.Draft202012Validator(json.load(f, parse_float=Decimal))
with open(sys.argv[2]) as f:
    for number, line in enumerate(f, 1):
        error = jsonschema.exceptions.best_match(
            validator.iter_errors(json.loads(line, parse_float=Decimal)))
        if error is not None:
            print(f"line {number}: {'/'.join(map(str, error.absolute_path))}: {error.message}",
                  file=sys.stderr)
            sys.exit(1)
