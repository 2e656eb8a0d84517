"""The decoder's output, line by line, against a plain reference decoder kept here.

A record of every usage the decoder reads (text with quotes, backslashes and
control characters, zoned with each sign form, packed signed, unsigned and
wider than 64 bits, binary of both signs and full range beyond the picture's
digits, COMP-1, COMP-2, a P-scaled number, OCCURS, REDEFINES, OCCURS
DEPENDING ON) is drawn a few thousand times with tests/tools/cobdata.py, some
records damaged, and repeated to about 50 MB: half V records of the whole
layout (the decoder's walk of its plan), half F records of the layout without
its DEPENDING ON table (the steps it compiles for a fixed layout). The reference
below decodes each distinct record by the IBM storage rules, written from
them and not from the decoder's code, and says what its JSON line and CSV
row must be; the decoder's output must match it on every line. Floating
point is checked by value (the decoder's text must read back as the stored
number), then its text stands in the expected line. The typed path is read
back too: decode_columns' integers and Avro's values (python3-avro) against
the reference's.

Run by ctest: VEXFCBL_DECODE names the built program, VEXFCBL_PYTHON the
folder of the built module; REFERENCE_TEST_MB (default 50) sets the size.
"""

import csv
import io
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from decimal import Decimal
from fractions import Fraction

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import cobdata  # noqa: E402

DECODER = os.environ["VEXFCBL_DECODE"]
TOTAL_MB = float(os.environ.get("REFERENCE_TEST_MB", "50"))
DISTINCT = 2000
F = cobdata.Field

# (field, kind, details): the reference's own description of the record,
# in the order of the copybook below.
TABLE = [F("D-T-AMT", "S9(5)V99", "COMP-3"), F("D-T-TXT", "X(4)")]
ODO = [F("D-O-ID", "9(4)", "COMP"), F("D-O-AMT", "S9(7)V99")]
FIELDS = [
    F("D-NAME", "X(12)"),
    F("D-ZT", "S9(5)V99"),
    F("D-ZL", "S9(3)", sign="LEADING"),
    F("D-ZLS", "S9(4)V9", sign="LEADING SEPARATE"),
    F("D-ZTS", "S9(3)", sign="TRAILING SEPARATE"),
    F("D-ZU", "9(6)"),
    F("D-ZW", "9(20)"),
    F("D-PK", "S9(9)V99", "COMP-3"),
    F("D-PKU", "9(5)", "COMP-3"),
    F("D-PKW", "S9(25)V9(3)", "COMP-3"),
    F("D-PP", "S9(3)PP", "COMP-3"),
    F("D-B2", "S9(4)", "COMP"),
    F("D-B4U", "9(8)", "BINARY"),
    F("D-B8", "S9(18)", "COMP"),
    F("D-B8U", "9(18)", "COMP"),
    F("D-BS", "S9(3)V99", "COMP"),
    F("D-F1", usage="COMP-1"),
    F("D-F2", usage="COMP-2"),
    F("D-TAB", children=TABLE, occurs=3),
    F("D-ALT", "X(6)"),
    F("D-ALT-N", "S9(11)", "COMP-3", redefines="D-ALT"),
    F("D-CNT", "9(2)"),
    F("D-ODO", children=ODO, occurs=5, depending="D-CNT"),
]
# The same record without its OCCURS DEPENDING ON: a fixed layout, which the
# decoder writes by steps compiled once.
FIXED = FIELDS[:-2]
TEXT_CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789-.,\"\\/\t\n\r\x1a"


def digits_of(f):
    """Digits, scale (negative for P) and signedness of a numeric picture."""
    if f.picture.upper().endswith("PP"):
        digits, _, signed = cobdata.picture_digits(f.picture[:-2])
        return digits, -2, signed
    return cobdata.picture_digits(f.picture)


def length_of(f):
    if f.picture.upper().endswith("PP"):
        return cobdata.packed_length(digits_of(f)[0])
    return cobdata.field_length(f)


# ---------------------------------------------------------------------------
# The reference decoder: bytes to values by the storage rules.

class Invalid(Exception):
    """The bytes hold no value of the field's usage: the field is null."""


EBCDIC_DIGITS = {0xF0 + d: d for d in range(10)}


def zoned_value(data, f):
    digits, scale, signed = digits_of(f)
    sign = f.sign.upper()
    negative = False
    if "SEPARATE" in sign:
        mark = data[0] if sign.startswith("LEADING") else data[-1]
        if mark not in (0x4E, 0x60):  # '+' and '-' in EBCDIC
            raise Invalid
        negative = mark == 0x60
        data = data[1:] if sign.startswith("LEADING") else data[:-1]
        signed = False
    at = (0 if sign.startswith("LEADING") else len(data) - 1) if signed else -1
    n = 0
    for i, b in enumerate(data):
        if i == at:
            zone, digit = b >> 4, b & 0xF
            if zone not in (0xC, 0xD, 0xF) or digit > 9:
                raise Invalid
            negative = zone == 0xD
        elif b in EBCDIC_DIGITS:
            digit = EBCDIC_DIGITS[b]
        else:
            raise Invalid
        n = n * 10 + digit
    return -n if negative else n, scale


def packed_value(data, f):
    _, scale, signed = digits_of(f)
    nibbles = [n for b in data for n in (b >> 4, b & 0xF)]
    sign = nibbles.pop()
    if any(n > 9 for n in nibbles) or sign < 0xA:
        raise Invalid
    negative = sign in (0xB, 0xD)
    if negative and not signed:
        raise Invalid
    n = int("".join(map(str, nibbles)))
    return -n if negative else n, scale


def binary_value(data, f, little):
    _, scale, signed = digits_of(f)
    return int.from_bytes(data, "little" if little else "big", signed=signed), scale


def ibm_value(data, little):
    """The exact value of IBM hexadecimal floating point bytes, and its fraction bits."""
    raw = int.from_bytes(data, "little" if little else "big")
    bits = 8 * len(data) - 8
    fraction = raw & ((1 << bits) - 1)
    exponent = (raw >> bits) & 0x7F
    value = Fraction(fraction, 1 << bits) * Fraction(16) ** (exponent - 64)
    return (-value if raw >> (8 * len(data) - 1) else value), bits


def decimal_text(n, scale):
    """Exact decimal text with `scale` places; zero unsigned; P scaling as zeros."""
    if n == 0:
        return "0" + ("." + "0" * scale if scale > 0 else "")
    sign = "-" if n < 0 else ""
    d = str(abs(n))
    if scale <= 0:
        return sign + d + "0" * -scale
    d = d.rjust(scale + 1, "0")
    return sign + d[:-scale] + "." + d[-scale:]


class Num:
    """A number: exact decimal text, or a float the decoder's text must read back as."""

    def __init__(self, text=None, unscaled=None, scale=0, ibm=None, bits=0):
        self.text, self.unscaled, self.scale = text, unscaled, scale
        self.ibm, self.bits = ibm, bits


def reference_value(f, data, little):
    usage = f.usage.upper()
    if usage in ("COMP-1", "COMP-2"):
        value, bits = ibm_value(data, little)
        return Num(ibm=value, bits=bits)
    if "X" in f.picture.upper():
        return data.decode("cp037")
    if usage in ("COMP", "BINARY"):
        n, scale = binary_value(data, f, little)
    elif usage == "COMP-3":
        n, scale = packed_value(data, f)
    else:
        n, scale = zoned_value(data, f)
    return Num(decimal_text(n, scale), n, scale)


def reference_record(data, little=False, fields=None):
    """The record as [(name, value)] (value None where invalid, a list for
    OCCURS, a list of pairs for a group) and the names of the fields that
    must be warned of, in order."""
    warned = []
    at = 0

    def read(fields, at):
        out = []
        for f in fields:
            if f.children:
                rows = []
                count = f.occurs
                valid = True
                if f.depending:
                    counter = dict(out)[f.depending]
                    n = counter.unscaled if isinstance(counter, Num) else None
                    if n is None or n > f.occurs:
                        warned.append(f.name)
                        valid = False
                        count = max(0, min(n if n is not None else f.occurs, f.occurs))
                    else:
                        count = n
                for _ in range(count):
                    row, at = read(f.children, at)
                    rows.append(row)
                out.append((f.name, rows if valid else None))
                continue
            size = length_of(f)
            start = at - size if f.redefines else at
            try:
                value = reference_value(f, data[start:start + size], little)
            except Invalid:
                warned.append(f.name)
                value = None
            out.append((f.name, value))
            if not f.redefines:
                at += size
        return out, at

    values, used = read(fields or FIELDS, at)
    if used != len(data):
        warned.append("DIFF-REC")  # the record's length disagrees with the layout's
    return values, warned, used


def check_float(test, num, text, where):
    """The decoder's text for a float must stand for the stored value: COMP-2
    is the double nearest it; COMP-1 rounds to it among 24-bit hexadecimal
    fractions (half a unit either side; a sixteenth of that below an
    exponent's smallest fraction)."""
    shown = Fraction(Decimal(text))
    if num.bits == 56:
        test.assertEqual(float(text), float(num.ibm), where)
        return
    v = abs(num.ibm)
    if v == 0:
        test.assertEqual(shown, 0, where)
        return
    exponent = 0
    while v >= 1:
        v /= 16
        exponent += 1
    while v < Fraction(1, 16):
        v *= 16
        exponent -= 1
    unit = Fraction(16) ** exponent / (1 << 24)
    below = unit / 32 if v == Fraction(1, 16) else unit / 2
    test.assertTrue(abs(num.ibm) - below < abs(shown) < abs(num.ibm) + unit / 2, f"{where}: {text}")
    test.assertEqual(shown < 0, num.ibm < 0, where)


def json_string(text):
    out = ['"']
    for c in text:
        if c in '"\\':
            out.append("\\" + c)
        elif c == "\n":
            out.append("\\n")
        elif c == "\r":
            out.append("\\r")
        elif c == "\t":
            out.append("\\t")
        elif ord(c) < 0x20:
            out.append("\\u%04x" % ord(c))
        else:
            out.append(c)
    return "".join(out) + '"'


def float_texts(line):
    """The texts of the numbers of a decoder line, in order."""
    found = []

    def keep(text):
        found.append(text)
        return text

    json.loads(line, parse_float=keep, parse_int=keep)
    return found


def json_line(values, floats):
    """The expected JSON line; `floats` gives the decoder's float texts (by
    position among the line's numbers), checked before."""
    numbers = iter(floats)

    def value(v):
        if v is None:
            return "null"
        if isinstance(v, str):
            return json_string(v)
        if isinstance(v, Num):
            shown = next(numbers)
            return shown if v.text is None else v.text
        if v and isinstance(v[0], tuple):
            return obj(v)
        return "[" + ",".join(value(x) for x in v) + "]"

    def obj(pairs):
        return "{" + ",".join(json_string(k) + ":" + value(v) for k, v in pairs) + "}"

    return '{"DIFF-REC":' + obj(values) + "}"


def csv_header(fields=None):
    names = []

    def walk(fields, prefix):
        for f in fields:
            if f.children:
                for i in range(f.occurs):
                    walk(f.children, f"{prefix}{f.name}[{i + 1}].")
            else:
                names.append(prefix + f.name)

    walk(fields or FIELDS, "")
    return names


def csv_cell(text):
    """A CSV field: quoted, quotes doubled, when it holds a comma, quote, CR or LF."""
    if any(c in text for c in ',"\r\n'):
        return '"' + text.replace('"', '""') + '"'
    return text


def csv_row(values, texts, fields=None):
    """The expected CSV cells: OCCURS expanded to their maximum, null and
    absent occurrences empty; `texts` the decoder's float texts."""
    numbers = iter(texts)
    cells = []

    def cell(f, v):
        if f.children:
            rows = v or []
            for i in range(f.occurs):
                row = dict(rows[i]) if i < len(rows) else {}
                for child in f.children:
                    cell(child, row.get(child.name))
            return
        if v is None:
            cells.append("")
        elif isinstance(v, str):
            cells.append(v)
        else:
            cells.append(v.text if v.text is not None else next(numbers))

    for f in fields or FIELDS:
        cell(f, dict(values)[f.name])
    return cells


def walk_numbers(values):
    """Every Num of a value tree in line order (with its path), floats included."""
    for name, v in values:
        if isinstance(v, Num):
            yield name, v
        elif isinstance(v, list):
            for row in v:
                yield from walk_numbers(row)


# ---------------------------------------------------------------------------
# The data

def draw(rng, f):
    if "X" in f.picture.upper():
        return cobdata.random_text(rng, rng.randint(0, length_of(f)), TEXT_CHARS)
    usage = f.usage.upper()
    if usage in ("COMP-1", "COMP-2"):
        return Fraction(rng.randint(-10 ** 9, 10 ** 9), 10 ** rng.randint(0, 12)) * \
            Fraction(16) ** rng.randint(-20, 20)
    digits, scale, signed = digits_of(f)
    if usage in ("COMP", "BINARY"):
        # The whole range of the storage, past the picture's digits.
        size = length_of(f)
        low, high = (-(1 << (8 * size - 1)), (1 << (8 * size - 1)) - 1) if signed else (0, (1 << 8 * size) - 1)
        return rng.choice([low, high, 0, rng.randint(low, high), rng.randint(-999, 999) if signed else 7])
    n = rng.randint(0, 10 ** digits - 1) if rng.random() < 0.8 else rng.choice([0, 10 ** digits - 1, 1])
    return -n if signed and rng.random() < 0.5 else n


def encode(f, value, little):
    usage = f.usage.upper()
    if usage in ("COMP-1", "COMP-2"):
        data = cobdata.ibm_float(value, usage == "COMP-2")
        return data[::-1] if little else data
    if "X" in f.picture.upper():
        return cobdata.text(value, length_of(f))
    digits, scale, signed = digits_of(f)
    if usage in ("COMP", "BINARY"):
        return value.to_bytes(length_of(f), "little" if little else "big", signed=signed)
    if usage == "COMP-3":
        return cobdata.packed(value, digits, 0, signed)
    sign = f.sign.upper()
    return cobdata.zoned(value, digits, 0, signed, "leading" if sign.startswith("LEADING") else "trailing",
                         "SEPARATE" in sign)


def make_record(rng, little):
    """One record's bytes (the whole numbers drawn are unscaled); the
    fixed part (FIXED) comes first."""
    data = b""
    for f in FIELDS:
        if f.redefines:
            continue
        if f.children:
            count = rng.randint(0, f.occurs) if f.depending else f.occurs
            if f.depending:
                data = data[:-2] + cobdata.zoned(count, 2, 0, False)
            for _ in range(count):
                data += b"".join(encode(c, draw(rng, c), little) for c in f.children)
            continue
        if f.name == "D-ALT" and rng.random() < 0.5:
            # Half the time the bytes the redefinition reads: valid packed,
            # and text of unprintable bytes.
            data += cobdata.packed(draw(rng, FIELDS[FIELDS.index(f) + 1]), 11)
            continue
        data += encode(f, draw(rng, f), little)
    return data


def damage(rng, data, i):
    """A record with bad bytes in one place, by the damage's kind."""
    offsets = {}
    at = 0
    for f in FIELDS:
        if not f.children and not f.redefines:
            offsets[f.name] = at
            at += length_of(f)
        elif f.children and not f.depending:
            at += length_of(f) * f.occurs
    kind = i % 7
    b = bytearray(data)
    if kind == 0:
        b[offsets["D-PK"]] = 0xA0 | (b[offsets["D-PK"]] & 0xF)  # a digit nibble past 9
    elif kind == 1:
        b[offsets["D-ZU"] + 2] = 0x40  # a blank among zoned digits
    elif kind == 2:
        b[offsets["D-ZT"] + 6] = 0xA0 | (b[offsets["D-ZT"] + 6] & 0xF)  # a sign zone of none
    elif kind == 3:
        b[offsets["D-ZLS"]] = 0x5C  # '*' for the separate sign
    elif kind == 4:
        b[offsets["D-PKU"] + 2] = (b[offsets["D-PKU"] + 2] & 0xF0) | 0xD  # minus in an unsigned field
    elif kind == 5:
        b[offsets["D-CNT"]:offsets["D-CNT"] + 2] = cobdata.zoned(7, 2, 0, False)  # more than OCCURS 5
    else:
        last = offsets["D-PKW"] + length_of(FIELDS[9]) - 1
        b[last] = (b[last] & 0xF0) | 0x5  # the sign nibble a digit
    return bytes(b)


class VariableRecords(unittest.TestCase):
    """V records of the whole layout, OCCURS DEPENDING ON included: half the size."""
    fields = FIELDS
    recfm = "V"
    share = 0.5

    @classmethod
    def frame(cls, records):
        return cobdata.variable(records)

    @classmethod
    def shape(cls, data):
        return data

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="vexdecode-reference-")
        cls.cpy = os.path.join(cls.folder, "diff.cpy")
        text = cobdata.copybook("DIFF-REC", cls.fields)
        with open(cls.cpy, "w") as f:
            f.write(text)
        rng = random.Random(2027)
        cls.records = []
        for i in range(DISTINCT):
            data = make_record(rng, False)
            if i % 53 == 11:
                data = damage(rng, data, i // 53)
            cls.records.append(cls.shape(data))
        block = cls.frame(cls.records)
        cls.repeats = max(1, int(TOTAL_MB * cls.share * 1e6 / len(block)))
        cls.data = os.path.join(cls.folder, "diff.dat")
        with open(cls.data, "wb") as out:
            for _ in range(cls.repeats):
                out.write(block)
        cls.expected = [reference_record(r, fields=cls.fields) for r in cls.records]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def run_decoder(self, *args, data=None):
        run = subprocess.run([DECODER, "-i", self.cpy, "-recfm", self.recfm, "-q", *args, data or self.data],
                             capture_output=True, timeout=1200)
        return run

    def test_reference_sees_every_kind(self):
        """The data exercises what it claims: every damage, escapes, wide values."""
        warned = {w for _, ws, _ in self.expected for w in ws}
        for name in ("D-PK", "D-ZU", "D-ZT", "D-ZLS", "D-PKU", "D-PKW", "D-ALT-N", "D-ODO"):
            if name in {f.name for f in self.fields}:
                self.assertIn(name, warned)
        values = [dict(v) for v, _, _ in self.expected]
        self.assertTrue(any(v["D-B8U"] is not None and v["D-B8U"].unscaled >= 1 << 63 for v in values))
        self.assertTrue(any(v["D-ALT-N"] is not None and "\\u00" in json_string(v["D-ALT"]) for v in values))

    def warnings_of(self, stderr):
        """Warned fields by record number (from 1), from the decoder's messages."""
        warned = {}
        for line in stderr.decode().splitlines():
            found = re.match(r"vexfcbl-decode: .*?: record (\d+), byte \d+: ([^ :]+)", line)
            if found:
                warned.setdefault(int(found.group(1)), []).append(found.group(2).split(".")[-1])
        return warned

    def test_json_lines(self):
        run = self.run_decoder("-format", "jsonl")
        self.assertEqual(run.returncode, 0, run.stderr.decode(errors="replace")[-2000:])
        lines = run.stdout.decode("utf-8").split("\n")
        self.assertEqual(lines.pop(), "")
        self.assertEqual(len(lines), DISTINCT * self.repeats)
        expected = [None] * DISTINCT
        for n, line in enumerate(lines):
            i = n % DISTINCT
            if expected[i] is None:
                values, _, _ = self.expected[i]
                texts = float_texts(line)
                numbers = list(walk_numbers(values))
                self.assertEqual(len(texts), len(numbers), f"record {i + 1}: {line}")
                for (name, num), text in zip(numbers, texts):
                    if num.text is None:
                        check_float(self, num, text, f"record {i + 1} {name}")
                expected[i] = json_line(values, texts)
            self.assertEqual(line, expected[i], f"line {n + 1}")
        warned = self.warnings_of(run.stderr)
        for i, (_, names, _) in enumerate(self.expected):
            self.assertEqual(sorted(warned.get(i + 1, [])), sorted(names), f"record {i + 1}")
            self.assertEqual(sorted(warned.get(i + 1 + DISTINCT, [])), sorted(names))
        self.assertEqual(sum(len(w) for w in warned.values()),
                         self.repeats * sum(len(w) for _, w, _ in self.expected))

    def test_csv(self):
        run = self.run_decoder("-format", "csv")
        self.assertEqual(run.returncode, 0, run.stderr.decode(errors="replace")[-2000:])
        text = run.stdout.decode("utf-8")
        header = csv_header(self.fields)
        reader = csv.reader(io.StringIO(text, newline=""), strict=True)
        self.assertEqual(next(reader), header)
        # The first repetition's rows give the float cells, checked by value;
        # then the whole output must be the header and those rows repeated.
        block = []
        for i, cells in zip(range(DISTINCT), reader):
            values = self.expected[i][0]
            texts = []
            for name, num in walk_numbers(values):
                if num.text is None:
                    shown = cells[header.index(name)]
                    check_float(self, num, shown, f"record {i + 1} {name}")
                    texts.append(shown)
            block.append(",".join(csv_cell(c) for c in csv_row(values, texts, self.fields)) + "\r\n")
        head = ",".join(csv_cell(c) for c in header) + "\r\n"
        self.assertEqual(text[:len(head)], head)
        at = len(head)
        for n in range(DISTINCT * self.repeats):
            row = block[n % DISTINCT]
            self.assertEqual(text[at:at + len(row)], row, f"row {n + 1}")
            at += len(row)
        self.assertEqual(at, len(text))

    def test_little_endian(self):
        """-byteorder little: binary and floating point read backwards (a
        smaller file; the same reference)."""
        rng = random.Random(77)
        records = [self.shape(make_record(rng, True)) for _ in range(500)]
        path = os.path.join(self.folder, "little.dat")
        with open(path, "wb") as out:
            out.write(self.frame(records))
        run = self.run_decoder("-byteorder", "little", data=path)
        self.assertEqual(run.returncode, 0, run.stderr.decode(errors="replace")[-2000:])
        lines = run.stdout.decode("utf-8").split("\n")
        self.assertEqual(lines.pop(), "")
        self.assertEqual(len(lines), len(records))
        for i, (line, data) in enumerate(zip(lines, records)):
            values, _, _ = reference_record(data, little=True, fields=self.fields)
            texts = float_texts(line)
            for (name, num), text in zip(walk_numbers(values), texts):
                if num.text is None:
                    check_float(self, num, text, f"record {i + 1} {name}")
            self.assertEqual(line, json_line(values, texts), f"record {i + 1}")

    def test_columns_hold_the_whole_numbers(self):
        """decode_columns: each decimal column's int64 is the reference's
        unscaled number at the column's scale, null where it is invalid."""
        folder = os.environ.get("VEXFCBL_PYTHON")
        if not folder:
            self.skipTest("VEXFCBL_PYTHON not set")
        sys.path.insert(0, folder)
        import numpy
        import vexfcbl
        with open(self.cpy, "rb") as f:
            decoder = vexfcbl.parse(f.read()).decoder(recfm=self.recfm)
        columns = decoder.decode_columns(self.data)["DIFF-REC"]
        self.assertEqual(columns.length, DISTINCT * self.repeats)
        expected = {}
        for i, (values, _, _) in enumerate(self.expected):
            for name, value in self.flat(values, ""):
                expected.setdefault(name, [None] * DISTINCT)[i] = value
        checked = 0
        for name, wanted in expected.items():
            if columns.kinds.get(name) not in ("integer", "decimal"):
                continue
            scale = columns.scales.get(name, 0)
            array = columns[name]
            mask = columns.masks.get(name, numpy.zeros(len(array), dtype=bool))
            want_null = numpy.tile(numpy.array([w is None for w in wanted]), self.repeats)
            self.assertTrue((mask == want_null).all(), name)
            unscaled = [0 if w is None else w.unscaled * 10 ** (scale - w.scale) for w in wanted]
            want = numpy.tile(numpy.array(unscaled, dtype=numpy.int64), self.repeats)
            self.assertTrue((numpy.where(mask, 0, array) == want).all(), name)
            checked += 1
        self.assertGreaterEqual(checked, 15)

    def flat(self, values, prefix):
        """(column name, Num or None) of the scalar numbers, OCCURS subscripted from 1."""
        for name, v in values:
            if isinstance(v, list) or (v is None and name in ("D-TAB", "D-ODO")):
                f = next(f for f in FIELDS if f.name == name)
                rows = v or []
                for i in range(f.occurs):
                    row = dict(rows[i]) if i < len(rows) else {}
                    for child in f.children:
                        value = row.get(child.name)
                        yield f"{prefix}{name}({i + 1}).{child.name}", value
            elif v is None or isinstance(v, Num):
                yield prefix + name, v

    def test_avro_reads_back(self):
        """-format avro: python3-avro reads the reference's values back (the
        first repetition: the reader is slow)."""
        import avro.datafile
        import avro.io
        path = os.path.join(self.folder, "first.dat")
        with open(path, "wb") as out:
            out.write(self.frame(self.records))
        avro_path = os.path.join(self.folder, "first.avro")
        run = self.run_decoder("-format", "avro", "-o", avro_path, data=path)
        self.assertEqual(run.returncode, 0, run.stderr.decode(errors="replace")[-2000:])
        with open(avro_path, "rb") as f:
            rows = list(avro.datafile.DataFileReader(f, avro.io.DatumReader()))
        self.assertEqual(len(rows), DISTINCT)
        for i, (row, (values, _, _)) in enumerate(zip(rows, self.expected)):
            for name, value in values:
                shown = row[name.replace("-", "_")]
                self.compare_avro(value, shown, f"record {i + 1} {name}")

    def compare_avro(self, value, shown, where):
        if value is None:
            self.assertIsNone(shown, where)
        elif isinstance(value, str):
            self.assertEqual(shown, value, where)
        elif isinstance(value, Num):
            if value.text is None:
                check_float(self, value, repr(shown), where)
            else:
                self.assertEqual(Decimal(shown), Decimal(value.text), where)
        else:
            self.assertEqual(len(shown), len(value), where)
            for row, row_shown in zip(value, shown):
                for name, v in row:
                    self.compare_avro(v, row_shown[name.replace("-", "_")], f"{where}.{name}")


class FixedRecords(VariableRecords):
    """F records of the layout without its DEPENDING ON table (the first
    bytes of the same records): the compiled steps' lines, the other half."""
    fields = FIXED
    recfm = "F"
    length = sum(length_of(f) * (f.occurs or 1) for f in FIXED if not f.redefines)

    @classmethod
    def frame(cls, records):
        return b"".join(records)

    @classmethod
    def shape(cls, data):
        return data[:cls.length]


if __name__ == "__main__":
    unittest.main()
