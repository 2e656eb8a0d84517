"""Every line vexfcbl-decode writes is one a reader takes, for any bytes: 10,000 records of
each layout (every usage, the sign forms, numeric-edited, external and internal floating
point, OCCURS DEPENDING ON), once as well-formed values written by tests/tools/cobdata.py
and once as random bytes, decoded to JSON Lines and to CSV. Every JSON line must parse with
Python's json module as an object, every CSV row must have the header's cells; well-formed
values must come back as cobdata encoded them (floating point: the text rounds back to the
same bytes under cobdata's own rounding).

Run by ctest: VEXFCBL_DECODE names the built program.
"""

import csv
import io
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
from fractions import Fraction

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import cobdata  # noqa: E402

DECODER = os.environ["VEXFCBL_DECODE"]
RECORDS = 10_000


def edited_shape(picture):
    """Digit positions and decimal places of a numeric-edited picture by IBM's rules: 9, Z
    and * hold digits, a floating $, + or - string all positions but its first; places
    are the digits right of the point, P positions left of the digits add, right of
    them subtract."""
    symbols = cobdata._picture_symbols(picture)
    floating = None
    for s in "$+-":
        at = [i for i, c in enumerate(symbols) if c == s]
        if len(at) >= 2:
            floating = (s, at[0], at[-1])
    holds = [c in "9Z*" or (floating is not None and c == floating[0] and floating[1] < i <= floating[2])
             for i, c in enumerate(symbols)]
    first = holds.index(True)
    point = next((i for i, c in enumerate(symbols) if c in ".V"), len(symbols))
    after = sum(1 for i, h in enumerate(holds) if h and i > point)
    p_before = sum(1 for i, c in enumerate(symbols) if c == "P" and i < first)
    p_after = sum(1 for i, c in enumerate(symbols) if c == "P" and i > first)
    signed = any(c in ("+", "-", "CR", "DB") for c in symbols)
    return sum(holds), after + p_before - p_after, signed


def random_decimal(rng, digits, scale, signed):
    n = rng.randint(0, 10 ** digits - 1) if rng.random() > 0.1 else 0
    if signed and rng.random() < 0.5:
        n = -n
    return Decimal(n).scaleb(-scale)


class Leaf:
    """One elementary item of a layout: its copybook line, how to make a value and its
    bytes, and how to compare what the decoder shows with the value."""

    def __init__(self, name, clause, make, encode, compare=None):
        self.name, self.clause, self.make, self.encode = name, clause, make, encode
        self.compare = compare or (lambda shown, value: Decimal(shown) == Decimal(value))


def zoned_leaf(name, picture, sign=""):
    digits, scale, signed = cobdata.picture_digits(picture)
    clause = f"PIC {picture}" + (f" SIGN {sign}" if sign else "")
    return Leaf(name, clause, lambda rng: random_decimal(rng, digits, scale, signed),
                lambda v: cobdata.zoned(v, digits, scale, signed,
                                        "leading" if sign.startswith("LEADING") else "trailing",
                                        "SEPARATE" in sign))


def packed_leaf(name, picture):
    digits, scale, signed = cobdata.picture_digits(picture)
    return Leaf(name, f"PIC {picture} COMP-3", lambda rng: random_decimal(rng, digits, scale, signed),
                lambda v: cobdata.packed(v, digits, scale, signed))


def binary_leaf(name, picture, usage="COMP"):
    digits, scale, signed = cobdata.picture_digits(picture)
    return Leaf(name, f"PIC {picture} {usage}", lambda rng: random_decimal(rng, digits, scale, signed),
                lambda v: cobdata.binary(v, digits, scale, signed))


def text_leaf(name, length):
    return Leaf(name, f"PIC X({length})", lambda rng: cobdata.random_text(rng, length),
                lambda v: cobdata.text(v, length),
                compare=lambda shown, value: shown == value.ljust(length))


def edited_leaf(name, picture, blank=False):
    digits, scale, signed = edited_shape(picture)
    return Leaf(name, f"PIC {picture}" + (" BLANK WHEN ZERO" if blank else ""),
                lambda rng: random_decimal(rng, digits, scale, signed),
                lambda v: cobdata.edited(v, picture, "IBM037", blank))


def external_float_leaf(name, picture, mantissa, exponent):
    def make(rng):
        if rng.random() < 0.1:
            return Decimal(0)
        digits = rng.randint(1, 10 ** mantissa - 1) * rng.choice((1, -1))
        return Decimal(digits).scaleb(rng.randint(-(10 ** exponent) + mantissa + 1, 10 ** exponent - mantissa - 1))
    return Leaf(name, f"PIC {picture}", make, lambda v: cobdata.external_float(v, picture))


def ibm_short_leaf(name):
    # Any 24-bit fraction times any power of 16 the format holds: past the IEEE single
    # range too. The text must round back (cobdata rounds to nearest) to the same bytes.
    def make(rng):
        return Fraction(rng.randint(1, 1 << 24) * rng.choice((1, -1))) * Fraction(16) ** rng.randint(-64, 56)
    return Leaf(name, "COMP-1", make, lambda v: cobdata.ibm_float(v, False),
                compare=lambda shown, value: cobdata.ibm_float(Fraction(Decimal(shown)), False)
                == cobdata.ibm_float(value, False))


def ibm_long_leaf(name):
    # Doubles (53 bits fit the 56-bit fraction exactly): the text reads back as the double.
    def make(rng):
        return Fraction(rng.randint(1, 1 << 53) * rng.choice((1, -1))) * Fraction(2) ** rng.randint(-200, 150)
    return Leaf(name, "COMP-2", make, lambda v: cobdata.ibm_float(v, True),
                compare=lambda shown, value: Fraction(float(Decimal(shown))) == value)


def ieee_short_leaf(name):
    def make(rng):
        return struct.unpack(">f", struct.pack(">f", rng.uniform(-1, 1) * 10 ** rng.randint(-40, 38)))[0]
    return Leaf(name, "COMP-1", make, lambda v: cobdata.ieee_float(v, False),
                compare=lambda shown, value: struct.pack(">f", float(shown)) == struct.pack(">f", value))


class Layout:
    def __init__(self, name, leaves, args=(), odo=None):
        self.name, self.leaves, self.args, self.odo = name, leaves, list(args), odo

    def copybook(self):
        lines = [f"       01  {self.name}."]
        for leaf in self.leaves:
            lines.append(f"           05  {leaf.name} {leaf.clause}.")
        if self.odo:
            counter, most, members = self.odo
            lines.append(f"           05  {counter} PIC 9(2).")
            lines.append(f"           05  T OCCURS 0 TO {most} DEPENDING ON {counter}.")
            for leaf in members:
                lines.append(f"               10  {leaf.name} {leaf.clause}.")
        return "\n".join(lines) + "\n"

    def record(self, rng):
        """The record's bytes and the values each column holds: (CSV column, value,
        leaf); a table's rows past the count are empty cells."""
        data = b""
        values = []
        for leaf in self.leaves:
            value = leaf.make(rng)
            data += leaf.encode(value)
            values.append((leaf.name, value, leaf))
        if self.odo:
            counter, most, members = self.odo
            count = rng.randint(0, most)
            data += cobdata.zoned(count, 2, 0, False)
            values.append((counter, Decimal(count), None))
            for i in range(count):
                for leaf in members:
                    value = leaf.make(rng)
                    data += leaf.encode(value)
                    values.append((f"T[{i + 1}].{leaf.name}", value, leaf))
        return data, values

    def length(self):
        # The longest record: every table row present, each row's width from cobdata.
        rng = random.Random(0)
        fixed = sum(len(leaf.encode(leaf.make(rng))) for leaf in self.leaves)
        if self.odo:
            counter, most, members = self.odo
            fixed += 2 + most * sum(len(leaf.encode(leaf.make(rng))) for leaf in members)
        return fixed


EDITED = ["ZZZ,ZZ9.99-", "$$$,$$9.99CR", "++++9.99", "----.--", "**,**9.99DB", "9(4).99-",
          "99B99/99", "9909", "ZZPPP", "$**,**9.99", "ZZ.ZZ", "+ZZZ9", "$$$BB9"]


def layouts():
    return [
        Layout("NUMS", [zoned_leaf("Z-T", "S9(5)V99"), zoned_leaf("Z-L", "S9(3)", "LEADING"),
                        zoned_leaf("Z-LS", "S9(4)V9", "LEADING SEPARATE"),
                        zoned_leaf("Z-TS", "S99", "TRAILING SEPARATE"), zoned_leaf("Z-U", "9(6)"),
                        packed_leaf("P-S", "S9(7)V99"), packed_leaf("P-U", "9(4)"),
                        binary_leaf("B-S", "S9(4)"), binary_leaf("B-L", "S9(18)", "COMP-5"),
                        binary_leaf("B-U", "9(9)V9", "BINARY"), text_leaf("X-T", 5)]),
        Layout("EDIT", [edited_leaf(f"E-{i:02d}", p) for i, p in enumerate(EDITED)]
               + [edited_leaf("E-BWZ", "ZZ9.99", True),
                  external_float_leaf("X-1", "+9(2).9(2)E+9(2)", 4, 2),
                  external_float_leaf("X-2", "-9V999E-99", 4, 2),
                  external_float_leaf("X-3", "+.9(4)E+9", 4, 1)]),
        Layout("FLTS", [ibm_short_leaf("F-1"), ibm_long_leaf("F-2"), ibm_short_leaf("F-3")]),
        Layout("FLTI", [ieee_short_leaf("F-1"), text_leaf("F-T", 3)], args=["-float", "ieee"]),
        Layout("TABS", [text_leaf("K", 3), packed_leaf("N", "S9(3)V99")],
               odo=("CNT", 6, [zoned_leaf("T-Z", "S9(3)V9", "LEADING SEPARATE"),
                               edited_leaf("T-E", "ZZ9.99"), binary_leaf("T-B", "S9(4)")])),
    ]


class EveryLineValid(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="vexdecode-property-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def decode(self, layout, data, fmt, extra=()):
        cpy = os.path.join(self.folder, layout.name + ".cpy")
        with open(cpy, "w") as f:
            f.write(layout.copybook())
        path = os.path.join(self.folder, layout.name + ".bin")
        with open(path, "wb") as f:
            f.write(data)
        run = subprocess.run([DECODER, "-i", cpy, "-q", "-format", fmt, *layout.args, *extra, path],
                             capture_output=True, timeout=300)
        self.assertEqual(run.returncode, 0, run.stderr.decode(errors="replace"))
        # Strict UTF-8: a byte sequence a reader refuses fails here.
        return run.stdout.decode("utf-8")

    def json_lines(self, text, count):
        lines = text.split("\n")
        self.assertEqual(lines[-1], "")
        self.assertEqual(len(lines) - 1, count)
        objects = []
        for line in lines[:-1]:
            value = json.loads(line, parse_float=Decimal, parse_int=Decimal)
            self.assertIsInstance(value, dict, line)
            objects.append(value)
        return objects

    def csv_rows(self, text, count):
        rows = list(csv.reader(io.StringIO(text, newline="")))
        self.assertEqual(len(rows), count + 1)
        header = rows[0]
        for row in rows[1:]:
            self.assertEqual(len(row), len(header), row)
        return header, rows[1:]

    def check_layout(self, layout):
        rng = random.Random(layout.name)
        records = [layout.record(rng) for _ in range(RECORDS)]
        length = layout.length()
        data = b"".join(r[0].ljust(length, b"\x40") for r in records)
        self.assertEqual(len(data), length * RECORDS)
        for fmt in ("jsonl", "csv"):
            text = self.decode(layout, data, fmt)
            if fmt == "jsonl":
                for obj, (_, values) in zip(self.json_lines(text, RECORDS), records):
                    body = obj[layout.name]
                    for column, value, leaf in values:
                        shown = body
                        for part in column.replace("[", ".[").split("."):
                            shown = shown[int(part[1:-1]) - 1] if part.startswith("[") else shown[part]
                        self.check_value(column, shown, value, leaf)
            else:
                header, rows = self.csv_rows(text, RECORDS)
                for row, (_, values) in zip(rows, records):
                    cells = dict(zip(header, row))
                    for column, value, leaf in values:
                        self.check_value(column, cells[column], value, leaf)
        # The same number of random bytes, under code pages of both families and UTF-8.
        noise = random.Random(layout.name + "-bytes").randbytes(length * RECORDS)
        for page in ("IBM037", "ASCII", "UTF-8"):
            for fmt in ("jsonl", "csv"):
                text = self.decode(layout, noise, fmt, ["-codepage", page])
                if fmt == "jsonl":
                    self.json_lines(text, RECORDS)
                else:
                    self.csv_rows(text, RECORDS)

    def check_value(self, column, shown, value, leaf):
        self.assertIsNotNone(shown, column)
        if leaf is None:
            self.assertEqual(Decimal(shown), value, column)
            return
        if isinstance(shown, Decimal):
            shown = str(shown)
        self.assertTrue(leaf.compare(shown, value), f"{column}: {shown!r} for {value!r}")

    def test_numbers(self):
        self.check_layout(layouts()[0])

    def test_edited_and_external_float(self):
        self.check_layout(layouts()[1])

    def test_ibm_floating_point(self):
        self.check_layout(layouts()[2])

    def test_ieee_floating_point(self):
        self.check_layout(layouts()[3])

    def test_depending_on_tables(self):
        self.check_layout(layouts()[4])


if __name__ == "__main__":
    unittest.main()
