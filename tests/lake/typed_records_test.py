"""The decoder's records handed to the Avro and Parquet writers and to Python's decode_columns as
values must say exactly what its JSON Lines say. A file of several MB (two record types chosen
by -when, REDEFINES alternatives, fixed and DEPENDING ON tables, text with quotes, backslashes
and control characters, national text, every numeric usage, numeric-edited, floats) with bad
bytes written over some records is decoded to JSON Lines, Avro, Parquet and columns; the JSON
Lines are read by Python's json module, Avro by Debian's Python Avro library, Parquet by DuckDB
and hyparquet (npm, skipped without them), and every row must hold the same values, nulls
included, with the same warnings.

Run by ctest: VEXFCBL_DECODE names the decoder, VEX_SOURCE_DIR the source tree, PYTHONPATH the
built module (the columns test skips without it).
"""

import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from decimal import Decimal

from lake_formats_test import (DECODER, HAVE_NODE, NO_NODE, SOURCE, avro_name, read_avro,
                               read_parquet)

sys.path.insert(0, os.path.join(SOURCE, "tests", "tools"))
import cobdata  # noqa: E402
from cobdata import Field  # noqa: E402

try:
    import vexfcbl
except ImportError:
    vexfcbl = None

ORDER = [
    Field("O-TYPE", "X"),
    Field("O-ID", "9(8)"),
    Field("O-NAME", "X(12)"),
    Field("O-NOTE", "N(3)", "NATIONAL"),
    Field("O-AMOUNT", "S9(7)V99", "COMP-3"),
    Field("O-UAMOUNT", "9(5)V99", "COMP-3"),
    Field("O-QTY", "S9(4)", "COMP"),
    Field("O-UQTY", "9(9)", "COMP"),
    Field("O-BIG", "S9(18)", "COMP"),
    Field("O-HUGE", "S9(25)V9(3)", "COMP-3"),
    Field("O-RATE", "S9(3)V9(4)", sign="LEADING SEPARATE"),
    Field("O-ZONED", "S9(5)V9"),
    Field("O-SCALED", "S9(5)V99", "COMP"),
    Field("O-SINGLE", "", "COMP-1"),
    Field("O-DOUBLE", "", "COMP-2"),
    Field("O-EDITED", "-Z(4)9.99"),
    Field("FILLER", "X(2)"),
    Field("O-PAY", children=[
        Field("O-PAY-KIND", "X"),
        Field("O-CARD", "X(8)"),
        Field("O-BANK", redefines="O-CARD", children=[
            Field("O-BANK-NO", "9(5)", "COMP-3"),
            Field("O-BANK-AMT", "S9(7)V99", "COMP-3"),
        ]),
    ]),
    Field("O-FIX", occurs=2, children=[
        Field("O-FIX-A", "X(2)"),
        Field("O-FIX-B", "S9(3)", "COMP-3"),
    ]),
    Field("O-N", "9"),
    Field("O-LINE", occurs=4, depending="O-N", children=[
        Field("O-ITEM", "X(4)"),
        Field("O-PRICE", "S9(5)V99", "COMP-3"),
    ]),
]
NOTE = [
    Field("N-TYPE", "X"),
    Field("N-TEXT", "X(30)"),
    Field("N-COUNT", "S9(9)V99", "COMP-3"),
]
# Text with what JSON escapes: quotes, backslashes, control characters (EBCDIC 0x05 is a tab,
# 0x25 a line feed, 0x01 a control character written as \u0001).
ALPHABET = 'ABC xyz 0123456789"\\,.\t\n\x01\u00e9'
RECORDS = 40000
DISTINCT = 1200


def edited_text(rng):
    value = Decimal(rng.randint(-9999999, 9999999)).scaleb(-2)
    return cobdata.edited(value, "-Z(4)9.99")


def encode(fields, values):
    data = b""
    for f in fields:
        if f.redefines:
            continue
        if f.children and f.occurs:
            for entry in values[f.name]:
                data += encode(f.children, entry)
            data += b"\x40" * (cobdata.field_length(f) * (f.occurs - len(values[f.name])))
        elif f.children:
            data += encode(f.children, values[f.name])
        elif f.name == "O-EDITED":
            data += values[f.name]
        else:
            data += cobdata.encode_value(f, values[f.name])
    return data


def order_record(rng):
    n = rng.randint(0, 4)
    card = rng.random() < 0.5
    pay = {"O-PAY-KIND": "C" if card else "B"}
    if card:
        pay["O-CARD"] = cobdata.random_text(rng, 8, ALPHABET)
        pay_bytes = encode(ORDER[17].children[:2], pay)
    else:
        bank = {"O-BANK-NO": rng.randint(0, 99999),
                "O-BANK-AMT": cobdata.random_number(rng, 9, 2, True)}
        pay_bytes = cobdata.text("B", 1) + encode(ORDER[17].children[2].children, bank)
    values = {
        "O-TYPE": "O", "O-ID": rng.randint(0, 99999999),
        "O-NAME": cobdata.random_text(rng, 12, ALPHABET),
        "O-NOTE": "".join(rng.choice("AZ\u00e9\u4e2d ") for _ in range(3)),
        "O-AMOUNT": cobdata.random_number(rng, 9, 2, True),
        "O-UAMOUNT": cobdata.random_number(rng, 7, 2, False),
        "O-QTY": rng.randint(-9999, 9999), "O-UQTY": rng.randint(0, 999999999),
        "O-BIG": rng.randint(-10 ** 18 + 1, 10 ** 18 - 1),
        "O-HUGE": cobdata.random_number(rng, 28, 3, True),
        "O-RATE": cobdata.random_number(rng, 7, 4, True),
        "O-ZONED": cobdata.random_number(rng, 6, 1, True),
        "O-SCALED": cobdata.random_number(rng, 7, 2, True),
        "O-SINGLE": rng.uniform(-1e6, 1e6), "O-DOUBLE": rng.uniform(-1e12, 1e12),
        "O-EDITED": edited_text(rng), "FILLER": "  ",
        "O-FIX": [{"O-FIX-A": cobdata.random_text(rng, 2, ALPHABET),
                   "O-FIX-B": rng.randint(-999, 999)} for _ in range(2)],
        "O-N": n,
        "O-LINE": [{"O-ITEM": cobdata.random_text(rng, 4, ALPHABET),
                    "O-PRICE": cobdata.random_number(rng, 7, 2, True)} for _ in range(n)],
    }
    head = encode(ORDER[:17], values)
    tail = encode(ORDER[18:], values)
    return head + pay_bytes + tail


def note_record(rng, length):
    values = {"N-TYPE": "N", "N-TEXT": cobdata.random_text(rng, 30, ALPHABET),
              "N-COUNT": cobdata.random_number(rng, 11, 2, True)}
    data = encode(NOTE, values)
    return data + b"\x40" * (length - len(data))


def data_file(path):
    """RECORDS fixed-length records of both types; one in 25 has bad bytes written over it
    (never 0x00, which numpy's text columns cannot end with)."""
    rng = random.Random(91)
    length = len(order_record(random.Random(0)))
    distinct = [order_record(rng) if rng.random() < 0.8 else note_record(rng, length)
                for _ in range(DISTINCT)]
    assert {len(record) for record in distinct} == {length}
    with open(path, "wb") as out:
        for _ in range(RECORDS):
            record = bytearray(rng.choice(distinct))
            if rng.random() < 0.04:
                for _ in range(rng.randint(1, 4)):
                    record[rng.randrange(1, length)] = rng.randint(1, 255)
            out.write(record)


def copybook_text():
    # PIC N is national by itself; cobdata's usage names it only for its encoder.
    text = cobdata.copybook("ORDER-REC", ORDER) + cobdata.copybook("NOTE-REC", NOTE)
    return text.replace(" NATIONAL.", ".")


WHEN = ["-when", "O-TYPE=O:ORDER-REC", "-when", "O-TYPE=N:NOTE-REC",
        "-when", "O-PAY-KIND=C:O-CARD", "-when", "O-PAY-KIND=B:O-BANK"]


def json_lines(data):
    # Lines end at "\n" only: text may hold U+0085 or U+2028, which JSON leaves unescaped.
    return [json.loads(line, parse_float=Decimal) for line in data.decode().split("\n") if line]


def decode(args, cwd):
    done = subprocess.run([DECODER, *args], cwd=cwd, capture_output=True)
    return done.returncode, done.stdout, done.stderr.decode()


def canonical(value, names, float_row=False):
    """A value with keys as the reader names them, nulls (and absent keys) dropped, numbers as
    Decimal; a float stays a float (rounded as the reader's float32 when it is one)."""
    if isinstance(value, dict):
        return {names(k): canonical(v, names) for k, v in value.items() if v is not None}
    if isinstance(value, list):
        return [canonical(v, names) for v in value]
    if isinstance(value, (str, float)) or value is None:
        return value
    return Decimal(value)


def same_number(expected, actual):
    """An exact number equals; a float from a reader equals the decimal text as a double, or as
    a single (COMP-1 with -float ieee is a float column)."""
    if isinstance(actual, float):
        single = struct.unpack("f", struct.pack("f", float(expected)))[0]
        return actual in (float(expected), single)
    return Decimal(expected) == Decimal(actual)


class Differences:
    """The first differences between two canonical rows, as paths."""

    def __init__(self, inexact=False):
        self.found = []
        self.inexact = inexact

    def walk(self, expected, actual, path):
        if len(self.found) > 5:
            return
        if isinstance(expected, dict) and isinstance(actual, dict):
            for key in set(expected) | set(actual):
                self.walk(expected.get(key), actual.get(key), f"{path}.{key}")
        elif isinstance(expected, list) and isinstance(actual, list) and len(expected) == len(
                actual):
            for i, (e, a) in enumerate(zip(expected, actual)):
                self.walk(e, a, f"{path}[{i}]")
        elif isinstance(expected, Decimal) and isinstance(actual, (Decimal, float, str)):
            # Readers give wide numbers as text (DuckDB's decimals, hyparquet's 64-bit
            # integers), hyparquet's decimals as the nearest double.
            number = float(actual) if isinstance(actual, float) else Decimal(actual)
            if self.inexact and len(expected.as_tuple().digits) > 15:
                if abs(float(expected) - float(number)) > abs(float(expected)) * 1e-15:
                    self.found.append(f"{path}: {expected} != {actual!r}")
            elif not same_number(expected, number):
                self.found.append(f"{path}: {expected} != {actual!r}")
        elif expected != actual:
            self.found.append(f"{path}: {expected!r} != {actual!r}")


@unittest.skipUnless(os.path.exists(DECODER), "no decoder")
class TypedRecords(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        with open(os.path.join(cls.work, "r.cpy"), "w") as f:
            f.write(copybook_text())
        data_file(os.path.join(cls.work, "r.dat"))
        cls.args = ["-i", "r.cpy", *WHEN, "r.dat"]
        status, cls.text, cls.warnings = decode(cls.args, cls.work)
        assert status == 0, cls.warnings
        cls.lines = json_lines(cls.text)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def check_rows(self, rows, names=lambda k: k, inexact=False):
        self.assertEqual(len(self.lines), len(rows))
        differences = Differences(inexact)
        for i, (line, row) in enumerate(zip(self.lines, rows)):
            differences.walk(canonical(line, names), canonical(row, names), f"record {i + 1}")
        self.assertEqual([], differences.found)

    def test_the_file_holds_what_it_should(self):
        size = os.path.getsize(os.path.join(self.work, "r.dat"))
        self.assertGreater(size, 4_000_000)
        kinds = {next(iter(line)) for line in self.lines}
        self.assertEqual({"ORDER-REC", "NOTE-REC"}, kinds)
        warned = [w for w in self.warnings.splitlines() if ": record " in w]
        self.assertGreater(len(warned), RECORDS // 100, "bad bytes give warnings")
        # Text that JSON escapes: quotes, backslashes, control characters.
        for escaped in (b'\\"', b"\\\\", b"\\n", b"\\t", b"\\u0001"):
            self.assertIn(escaped, self.text)

    def test_avro_equals_the_json_lines(self):
        for jobs in ("1", "2"):
            with self.subTest(jobs=jobs):
                status, _, warnings = decode(
                    [*self.args, "-format", "avro", "-codec", "deflate", "-j", jobs, "-o",
                     "r.avro"], self.work)
                self.assertEqual(0, status, warnings)
                self.assertEqual(self.warnings, warnings)
                _, records = read_avro(os.path.join(self.work, "r.avro"))
                self.check_rows(records, avro_name)

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_parquet_equals_the_json_lines(self):
        status, _, warnings = decode(
            [*self.args, "-format", "parquet", "-row-group-mb", "2", "-o", "r.parquet"], self.work)
        self.assertEqual(0, status, warnings)
        self.assertEqual(self.warnings, warnings)
        for reader in ("duckdb", "hyparquet"):
            with self.subTest(reader=reader):
                rows = read_parquet(reader, os.path.join(self.work, "r.parquet"))["rows"]
                self.check_rows(rows, inexact=reader == "hyparquet")

    def test_strict_stops_alike(self):
        expected = decode([*self.args, "-strict"], self.work)
        self.assertEqual(1, expected[0])
        for output in ("avro", "parquet"):
            with self.subTest(format=output):
                status, _, warnings = decode(
                    [*self.args, "-strict", "-format", output, "-o", "strict.out"], self.work)
                self.assertEqual(1, status)
                self.assertEqual(expected[2].splitlines()[0], warnings.splitlines()[0])
                self.assertFalse(os.path.exists(os.path.join(self.work, "strict.out")))

    @unittest.skipIf(vexfcbl is None, "the vexfcbl module is not on PYTHONPATH")
    def test_columns_equal_the_json_lines(self):
        decoder = vexfcbl.parse(copybook_text()).decoder(
            when=[w for w in WHEN if w != "-when"])
        path = os.path.join(self.work, "r.dat")
        lines = list(decoder.decode(path))
        line_warnings = [vars(w) for w in decoder.warnings]
        self.assertGreater(len(line_warnings), RECORDS // 100)
        self.assertEqual(len(self.lines), len(lines))
        for jobs in (1, 2):
            with self.subTest(jobs=jobs):
                decoder = vexfcbl.parse(copybook_text()).decoder(
                    when=[w for w in WHEN if w != "-when"], jobs=jobs)
                tables = decoder.decode_columns(path)
                self.assertEqual(line_warnings, [vars(w) for w in decoder.warnings])
                self.check_columns(lines, tables)

    def check_columns(self, lines, tables):
        rows = {name: [] for name in tables}
        for line in lines:
            name, value = next(iter(line.items()))
            flat = {}
            flatten(value, "", flat)
            rows[name].append(flat)
        found = []
        for name, table in tables.items():
            self.assertEqual(len(rows[name]), table.length, name)
            for column, array in table.items():
                mask = table.masks.get(column)
                kind = table.kinds[column]
                scale = table.scales.get(column, 0) if kind == "decimal" else 0
                for i, flat in enumerate(rows[name]):
                    expected = flat.get(column)
                    if mask is not None and mask[i]:
                        actual = None
                    elif kind in ("integer", "decimal") and array.dtype.kind == "i":
                        actual = Decimal(int(array[i])).scaleb(-scale)
                    elif kind == "float":
                        actual = float(array[i])
                    elif kind == "text":
                        actual = str(array[i])
                    else:
                        actual = array[i]
                    if expected is None or actual is None:
                        ok = expected is actual
                    elif isinstance(expected, str):
                        ok = expected == actual
                    else:
                        ok = same_number(expected, actual)
                    if not ok and len(found) < 6:
                        found.append(f"{name} row {i + 1} {column}: {expected!r} != {actual!r}")
        self.assertEqual([], found)


def flatten(value, path, out):
    """A record's dict as decode_columns names its columns: GROUP.TABLE(2).FIELD."""
    if isinstance(value, dict):
        for key, member in value.items():
            flatten(member, f"{path}.{key}" if path else key, out)
    elif isinstance(value, list):
        for i, entry in enumerate(value):
            flatten(entry, f"{path}({i + 1})", out)
    else:
        out[path] = value


if __name__ == "__main__":
    unittest.main()
