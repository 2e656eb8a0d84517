"""The decoder's compiled steps for Avro datums and Parquet plain values, one kind per field's
reader and writer's form, against encoders and readers of their own: every packed decimal
precision 1 to 38 and zoned 1 to 18 at both bounds, one and minus one, and zero with either
sign nibble or zone; big-endian binary halfwords, fullwords and doublewords holding values past
their picture (to the ends of their bytes), scaled and not; text of every content length
before its trailing blanks, whole words and the last short one, with characters of two UTF-8
bytes at every place (a field of 40 such characters passes the one length byte the steps
write first), with and without -trim. The first batch of a run (4096 records) takes the
writer's walk, the records after it the steps, and the records repeat, so the same values go
both ways. The steps take only a layout whose every field they read (packed and zoned of up to
8 bytes), so the wider precisions are a layout of their own, which the walk writes whole.

Avro: every block's bytes against this test's encoding of the values it put in the file
(direct_records_test's encoder, under the schema of the file's header). Parquet: DuckDB's
reading of every row. The expected values are the numbers and texts the test encoded into the
records, not the decoder's.

Run by ctest: VEXFCBL_DECODE names the decoder, VEX_SOURCE_DIR the source tree.
"""

import json
import os
import random
import shutil
import subprocess
import tempfile
import unittest
import decimal
from decimal import Decimal

from direct_records_test import container, encode
from lake_formats_test import DECODER, HAVE_NODE, NO_NODE, compare, read_parquet

REPEAT = 360  # a multiple of every cycle below, and more than the longest text's lengths
RECORDS = 20 * REPEAT
# Exact decimals of 38 digits (here and in the encoder): the default context rounds to 28.
decimal.getcontext().prec = 80


def packed(unscaled, digits, negative_zero=False):
    """Packed decimal of `digits` (odd: the field's bytes hold them all, even: one more)."""
    nibbles = digits + 1 + (digits + 1) % 2
    sign = "D" if unscaled < 0 or negative_zero else "C"
    return bytes.fromhex("%0*d" % (nibbles - 1, abs(unscaled)) + sign)


def zoned(unscaled, digits, negative_zero=False):
    """Zoned decimal in IBM037, the sign in the last byte's zone (C or D)."""
    data = bytearray(0xF0 | int(d) for d in "%0*d" % (digits, abs(unscaled)))
    data[-1] = (0xD0 if unscaled < 0 or negative_zero else 0xC0) | (data[-1] & 0x0F)
    return bytes(data)


class Numeric:
    """A packed or zoned field of `digits` digits and its scale (integers at even precisions,
    so that Avro's int and long forms and its decimals both come)."""

    def __init__(self, usage, digits):
        self.usage, self.digits = usage, digits
        self.scale = 0 if digits % 2 == 0 else digits // 2
        self.name = ("P" if usage == "COMP-3" else "Z") + "%02d" % digits

    def picture(self):
        whole = self.digits - self.scale
        return "S9(%d)" % whole + ("V9(%d)" % self.scale if self.scale else "")

    def case(self, rng, k):
        """(unscaled, negative zero) of case k: the bounds, zero of both signs, one, minus one,
        random values wide and small."""
        top = 10 ** self.digits - 1
        return [(top, False), (-top, False), (0, False), (0, True), (1, False), (-1, False),
                (rng.randint(-top, top), False),
                (rng.randint(-min(top, 999), min(top, 999)), False)][k % 8]

    def data(self, unscaled, negative_zero):
        if self.usage == "COMP-3":
            return packed(unscaled, self.digits, negative_zero)
        return zoned(unscaled, self.digits, negative_zero)


class Binary:
    """A big-endian binary field and the values it may hold past its picture."""

    def __init__(self, name, picture, size, signed, scale, values):
        self.name, self.pic, self.size, self.signed = name, picture, size, signed
        self.scale, self.values = scale, values

    def picture(self):
        return self.pic

    def case(self, rng, k):
        low, high = (-(2 ** (8 * self.size - 1)), 2 ** (8 * self.size - 1) - 1) if self.signed \
            else (0, 2 ** (8 * self.size) - 1)
        choices = self.values + [rng.randint(low, high)]
        return choices[k % len(choices)], False

    def data(self, unscaled, _):
        return unscaled.to_bytes(self.size, "big", signed=self.signed)


class Text:
    """PIC X(length): `content` characters before blanks; `alphabet` the characters."""

    def __init__(self, name, length, alphabet):
        self.name, self.length, self.alphabet = name, length, alphabet
        self.scale = None

    def picture(self):
        return "X(%d)" % self.length

    def case(self, rng, k):
        content = k % (self.length + 1)
        text = "".join(rng.choice(self.alphabet) for _ in range(content))
        # An inner blank stays with -trim: only the trailing ones go.
        if content > 2 and k % 4 == 1:
            text = text[:1] + " " + text[2:]
        # One character of two UTF-8 bytes at each place of the plain ones, in turn.
        if content and k % 3 == 2 and self.alphabet is PLAIN:
            at = (k // 3) % content
            text = text[:at] + "\u00e9" + text[at + 1:]
        return text.ljust(self.length), False

    def data(self, text, _):
        return text.encode("cp037")


PLAIN = "ABCXYZabcxyz0189 .,-\"'"
WIDE = "\u00e4\u00e9\u00df\u00a2\u00ac"
BINARIES = [
    Binary("H", "S9(4) COMP", 2, True, 0, [32767, -32768, 0, -1, 9999, 10000]),
    Binary("HU", "9(4) COMP", 2, False, 0, [65535, 0, 10000, 32768]),
    Binary("HS", "S9(2)V99 COMP", 2, True, 2, [32767, -32768, 0, 1]),
    Binary("F", "S9(9) COMP", 4, True, 0, [2 ** 31 - 1, -(2 ** 31), 0, 10 ** 9, -(10 ** 9)]),
    Binary("FU", "9(9) COMP", 4, False, 0, [2 ** 32 - 1, 0, 10 ** 9, 2 ** 31]),
    Binary("FS", "S9(5)V99 COMP", 4, True, 2, [2 ** 31 - 1, -(2 ** 31), 0, -1]),
    Binary("D", "S9(18) COMP", 8, True, 0, [2 ** 63 - 1, -(2 ** 63), 10 ** 18, -(10 ** 18), 0]),
    Binary("DS", "S9(16)V99 COMP", 8, True, 2, [2 ** 63 - 1, -(2 ** 63), 0, 1]),
]
TEXTS = [Text("T%02d" % n, n, PLAIN) for n in (1, 2, 7, 8, 9, 15, 16, 17, 24, 63, 64, 70)] + [
    Text("U40", 40, WIDE)]
# The steps take a layout whose every field they read: packed of up to 8 bytes (15 digits),
# zoned of up to 8. Wider fields give the whole layout to the writer's walk, so the wider
# precisions are a layout of their own.
DIRECT = ([Numeric("COMP-3", p) for p in range(1, 16)] + [Numeric("DISPLAY", p) for p in range(1, 9)]
          + BINARIES + TEXTS)
WIDE_FIELDS = [Numeric("COMP-3", p) for p in range(16, 39)] + [Numeric("DISPLAY", p)
                                                                for p in range(9, 19)] + TEXTS[:3]


def expected_of(field, value):
    if isinstance(field, Text):
        return value
    return Decimal(value).scaleb(-field.scale) if field.scale else int(value)


class Layout:
    FIELDS = []

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        rng = random.Random(38)
        cls.rows, records = [], []
        for i in range(REPEAT):
            row, data = {}, b""
            for j, field in enumerate(cls.FIELDS):
                value, negative_zero = field.case(rng, i + j)
                row[field.name] = expected_of(field, value)
                data += field.data(value, negative_zero)
            cls.rows.append(row)
            records.append(data)
        lines = ["       01  REC."] + ["           05  %-4s PIC %s%s." % (
            f.name, f.picture(), " COMP-3" if getattr(f, "usage", "") == "COMP-3" else "")
            for f in cls.FIELDS]
        with open(os.path.join(cls.work, "e.cpy"), "w") as f:
            f.write("\n".join(lines) + "\n")
        with open(os.path.join(cls.work, "e.dat"), "wb") as f:
            f.write(b"".join(records) * (RECORDS // REPEAT))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def decode(self, *args):
        done = subprocess.run([DECODER, "-i", "e.cpy", *args, "e.dat"], cwd=self.work,
                              capture_output=True)
        self.assertEqual(0, done.returncode, done.stderr)
        # Every value is good: no record may take the walk for a warning of its own.
        self.assertIn(b"%d records read, %d written, 0 with warnings" % (RECORDS, RECORDS),
                      done.stderr)
        return done

    def expected(self, trim):
        def shown(v):
            return v.rstrip(" ") if trim and isinstance(v, str) else v
        return [{k: shown(v) for k, v in self.rows[i % REPEAT].items()} for i in range(RECORDS)]

    def check_avro(self, path, trim):
        with open(path, "rb") as f:
            meta, _, blocks = container(f.read())
        schema = json.loads(meta["avro.schema"])
        self.check_types({f["name"]: json.dumps(f["type"]) for f in schema["fields"]})
        self.assertGreater(len(blocks), 1)
        self.assertEqual(RECORDS, sum(count for count, _ in blocks))
        datums = [encode(schema, v) for v in self.expected(trim)]
        at = 0
        for b, (count, data) in enumerate(blocks):
            for r in range(at, at + count):
                size = len(datums[r])
                self.assertEqual(datums[r], data[:size], f"block {b}, record {r + 1}")
                data = data[size:]
            self.assertEqual(b"", data, f"block {b}")
            at += count

    def test_avro_blocks(self):
        for trim in ([], ["-trim"]):
            self.decode(*trim, "-format", "avro", "-o", "e.avro")
            self.check_avro(os.path.join(self.work, "e.avro"), bool(trim))

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_parquet_rows(self):
        for trim in ([], ["-trim"]):
            self.decode(*trim, "-format", "parquet", "-o", "e.parquet")
            rows = read_parquet("duckdb", os.path.join(self.work, "e.parquet"))["rows"]
            expected = self.expected(bool(trim))
            self.assertEqual(len(expected), len(rows))
            for i, (value, row) in enumerate(zip(expected, rows)):
                # P38's 20 bytes hold 39 digits, past the 38 of Parquet's decimals, which
                # DuckDB reads as a double: its Avro bytes above are checked instead.
                value.pop("P38", None)
                row.pop("P38", None)
                compare(self, value, row, f"record {i + 1}")


class DirectLayout(Layout, unittest.TestCase):
    FIELDS = DIRECT

    def check_types(self, types):
        # Each of the writer's forms is here: int, long, decimal bytes, string.
        self.assertIn('"int"', types["Z04"])
        self.assertIn('"long"', types["P12"])
        self.assertIn('"decimal"', types["P15"])
        self.assertIn('"long"', types["D"])
        self.assertIn('"string"', types["T70"])

    def test_the_cases_are_the_ones_meant(self):
        # Against a test that no longer tests what it says: the bounds, both zeros, texts of
        # every length, a text past 63 bytes of UTF-8 within a field under 64.
        p14 = [self.rows[i]["P14"] for i in range(REPEAT)]
        self.assertIn(10 ** 14 - 1, p14)
        self.assertIn(-(10 ** 14 - 1), p14)
        self.assertEqual({n for n in range(71)},
                         {len(self.rows[i]["T70"].rstrip(" ")) for i in range(REPEAT)})
        self.assertTrue(any(len(self.rows[i]["U40"].rstrip(" ").encode()) >= 64
                            for i in range(REPEAT)))


class WideLayout(Layout, unittest.TestCase):
    FIELDS = WIDE_FIELDS

    def check_types(self, types):
        self.assertIn('"decimal"', types["P37"])
        self.assertIn('"long"', types["Z18"])


if __name__ == "__main__":
    unittest.main()
