"""Round trips of vexfcbl-encode against the independent encoder of tests/tools/cobdata.py.

For each layout (together they cover every usage the encoder writes),
VEX_PROPERTY_RECORDS random records (10,000 by default) are made in Python:
their values and their canonical bytes (preferred signs, blank-padded text)
from cobdata, which shares no code with the programs. Then:

  - canonical bytes -> vexfcbl-decode -> vexfcbl-encode: the same bytes,
    through JSON Lines and through CSV;
  - the values as JSON text written here, numbers in varied forms (1.50,
    1.5, 15E-1) -> vexfcbl-encode: cobdata's bytes; decoded again, the values;
  - any bytes at all -> vexfcbl-decode -raw -> vexfcbl-encode: the same bytes.

A failure names the layout, the first record that differs and its bytes.
"""

import base64
import json
import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib
import decimal
from decimal import Decimal
from fractions import Fraction

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import cobdata  # noqa: E402

# FLOAT-DECIMAL-34 coefficients have 34 digits: no rounding to Python's default 28.
decimal.getcontext().prec = 80

ENCODER = os.environ.get("VEXFCBL_ENCODE", "")
DECODER = os.environ.get("VEXFCBL_DECODE", "")
RECORDS = int(os.environ.get("VEX_PROPERTY_RECORDS", "10000"))


# ---------------------------------------------------------------------------
# Items of a layout: each makes a random value, its bytes and its JSON text.

class Leaf:
    """An elementary item: `make(rng)` a value, `bytes(value)` its storage."""

    def __init__(self, key, make, to_bytes, kind="number", scale=0):
        self.key, self.make, self.to_bytes, self.kind, self.scale = key, make, to_bytes, kind, scale


class Exact(Decimal):
    """A decimal floating-point value: its text keeps its exponent, which
    chooses the encoding among those of the same value."""


class Group:
    def __init__(self, key, items, occurs=0):
        self.key, self.items, self.occurs = key, items, occurs


class Depending:
    """OCCURS min TO max DEPENDING ON the Leaf `counter` (which comes before it)."""

    def __init__(self, key, items, low, high, counter):
        self.key, self.items, self.low, self.high, self.counter = key, items, low, high, counter


class Filler:
    def __init__(self, size, page):
        self.size, self.page = size, page


def decimal_of(rng, digits, scale, signed):
    return cobdata.random_number(rng, digits, scale, signed)


def text_of(rng, length, alphabet):
    return cobdata.random_text(rng, length, alphabet)


def make_record(items, rng, values, context):
    """The values (in the decoder's JSON shape) and the bytes of `items`."""
    out = b""
    for item in items:
        if isinstance(item, Filler):
            out += cobdata.encode_text(" " * item.size, item.page)
        elif isinstance(item, Leaf):
            value = context.pop(item.key) if item.key in context else item.make(rng)
            values[item.key] = value
            out += item.to_bytes(value)
        elif isinstance(item, Depending):
            count = values[item.counter]
            values[item.key] = []
            for _ in range(int(count)):
                element = {}
                out += make_record(item.items, rng, element, context)
                values[item.key].append(element)
        else:
            if item.occurs:
                values[item.key] = []
                for _ in range(item.occurs):
                    element = {}
                    out += make_record(item.items, rng, element, context)
                    values[item.key].append(element)
            else:
                values[item.key] = {}
                out += make_record(item.items, rng, values[item.key], context)
    return out


def number_text(value, rng):
    """A number as JSON may write it: with the item's places, shortest, or with an exponent."""
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, Exact):
        return str(value)
    style = rng.randrange(3)
    if style == 0:
        return str(value)
    if style == 1:
        text = format(value.normalize(), "f")
        return text
    return format(value, "E")


def json_text(values, leaves, rng):
    if isinstance(values, dict):
        return "{" + ",".join(json.dumps(k) + ":" + json_text(v, leaves, rng)
                              for k, v in values.items()) + "}"
    if isinstance(values, list):
        return "[" + ",".join(json_text(v, leaves, rng) for v in values) + "]"
    if isinstance(values, str):
        return json.dumps(values, ensure_ascii=rng.random() < 0.3)
    return number_text(values, rng)


class Layout:
    def __init__(self, name, copybook, items, args=(), page="IBM037", framing="F", length=0,
                 csv=True, json_values=True):
        self.name, self.copybook, self.items, self.args = name, copybook, items, list(args)
        self.page, self.framing, self.length = page, framing, length
        self.csv, self.json_values = csv, json_values
        self.record_name = copybook.split()[1].rstrip(".")

    def records(self, rng, count):
        made = []
        for _ in range(count):
            values = {}
            data = make_record(self.items, rng, values, {})
            made.append(({self.record_name: values}, data))
        return made

    def frame(self, records):
        if self.framing == "V":
            return cobdata.variable(records)
        if self.framing == "VB":
            return cobdata.variable_blocked(records, 2000)
        if self.framing == "L":
            return cobdata.lines(records)
        blank = cobdata.encode_text(" ", self.page)
        return b"".join(r + blank * (self.length - len(r)) for r in records)

    def options(self):
        extra = ["-recfm", self.framing] if self.framing != "F" else []
        return ["-codepage", self.page] + extra + self.args

    def encoder_options(self):
        """The encoder writes blocks as cobdata.variable_blocked does: 2000 bytes at most."""
        return self.options() + (["-blocksize", "2000"] if self.framing == "VB" else [])


def run(program, args, stdin=None):
    done = subprocess.run([program, *args], input=stdin, capture_output=True)
    if done.returncode != 0:
        raise AssertionError(f"{os.path.basename(program)} {' '.join(args)} exited with "
                             f"{done.returncode}: {done.stderr.decode(errors='replace')}")
    return done


# ---------------------------------------------------------------------------
# The layouts

LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ "
TEXT037 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz 0123456789-.,;:'\"\\/()*%&+éäñçÅ¢"


def zoned_leaf(key, digits, scale, signed, sign="trailing", separate=False, page="IBM037"):
    return Leaf(key, lambda rng: decimal_of(rng, digits, scale, signed),
                lambda v: cobdata.zoned(v, digits, scale, signed, sign, separate, page), scale=scale)


def packed_leaf(key, digits, scale, signed):
    return Leaf(key, lambda rng: decimal_of(rng, digits, scale, signed),
                lambda v: cobdata.packed(v, digits, scale, signed), scale=scale)


def binary_leaf(key, digits, scale, signed, little=False, length=None):
    return Leaf(key, lambda rng: decimal_of(rng, digits, scale, signed),
                lambda v: cobdata.binary(v, digits, scale, signed, little, length), scale=scale)


def native_leaf(key, length, signed, little=False):
    """COMP-5 and the dialect binaries: any value the bytes hold."""
    bits = 8 * length

    def make(rng):
        low, high = (-(1 << (bits - 1)), (1 << (bits - 1)) - 1) if signed else (0, (1 << bits) - 1)
        return Decimal(rng.choice([low, high, 0, rng.randint(low, high), rng.randint(-99, 99) if signed else rng.randint(0, 99)]))

    return Leaf(key, make, lambda v: int(v).to_bytes(length, "little" if little else "big", signed=signed))


def text_leaf(key, length, page="IBM037", alphabet=TEXT037, justified=False):
    return Leaf(key, lambda rng: text_of(rng, length, alphabet),
                lambda v: cobdata.text(v, length, page, justified), kind="text")


def display_layout():
    cpy = """       01  DISP-REC.
           05  D-TEXT   PIC X(12).
           05  D-ALPHA  PIC A(5).
           05  D-JUST   PIC X(6) JUSTIFIED RIGHT.
           05  D-U      PIC 9(5).
           05  D-ST     PIC S9(4)V99.
           05  D-SL     PIC S9(3) SIGN LEADING.
           05  D-SLS    PIC S9(3)V9 SIGN LEADING SEPARATE.
           05  D-STS    PIC S9(4) SIGN TRAILING SEPARATE.
           05  D-PA     PIC 99PPP.
           05  D-PB     PIC SVPP99.
           05  FILLER   PIC X(3).
           05  D-LAST   PIC S9(18).
"""
    just = Leaf("D-JUST", lambda rng: text_of(rng, 6, TEXT037).strip().rjust(6),
                lambda v: cobdata.text(v, 6, "IBM037", justified=True), kind="text")
    items = [text_leaf("D-TEXT", 12), text_leaf("D-ALPHA", 5, alphabet=LETTERS), just,
             zoned_leaf("D-U", 5, 0, False), zoned_leaf("D-ST", 6, 2, True),
             zoned_leaf("D-SL", 3, 0, True, "leading"),
             zoned_leaf("D-SLS", 4, 1, True, "leading", True),
             zoned_leaf("D-STS", 4, 0, True, "trailing", True),
             zoned_leaf("D-PA", 2, -3, False), zoned_leaf("D-PB", 2, 4, True),
             Filler(3, "IBM037"), zoned_leaf("D-LAST", 18, 0, True)]
    return Layout("display", cpy, items, length=72)


def binary_layout(little):
    cpy = """       01  BIN-REC.
           05  B-S2     PIC S9(4) COMP.
           05  B-U2     PIC 9(4) BINARY.
           05  B-S4     PIC S9(7)V99 COMP-4.
           05  B-U4     PIC 9(9) COMP.
           05  B-S8     PIC S9(18) BINARY.
           05  B-V8     PIC S9(13)V9(5) COMP.
           05  B-N2     PIC S9(4) COMP-5.
           05  B-N4     PIC 9(9) COMP-5.
           05  B-N8     PIC S9(18) COMP-5.
           05  B-Z2     PIC S9(4) COMP-0.
           05  B-Z4     PIC 9(4) COMP-0.
           05  P-S      PIC S9(5)V99 COMP-3.
           05  P-U      PIC 9(4) COMP-3.
           05  P-L      PIC S9(18) COMP-3.
           05  P-D      PIC S9(3)V9(4) PACKED-DECIMAL.
           05  P-P      PIC S9(3)PP COMP-3.
"""
    items = [binary_leaf("B-S2", 4, 0, True, little), binary_leaf("B-U2", 4, 0, False, little),
             binary_leaf("B-S4", 9, 2, True, little), binary_leaf("B-U4", 9, 0, False, little),
             binary_leaf("B-S8", 18, 0, True, little), binary_leaf("B-V8", 18, 5, True, little),
             native_leaf("B-N2", 2, True, little), native_leaf("B-N4", 4, False, little),
             native_leaf("B-N8", 8, True, little),
             # COMP-0 is a halfword whatever its picture, without its limit.
             native_leaf("B-Z2", 2, True, little), native_leaf("B-Z4", 2, False, little),
             packed_leaf("P-S", 7, 2, True), packed_leaf("P-U", 4, 0, False),
             packed_leaf("P-L", 18, 0, True), packed_leaf("P-D", 7, 4, True),
             packed_leaf("P-P", 3, -2, True)]
    return Layout("binary-little" if little else "binary", cpy, items,
                  args=["-byteorder", "little"] if little else [], length=69)


def exact_double(rng):
    """A double whose shortest text is its exact value (n / 2^k, small k): the
    decoder shows COMP-2 as the nearest double, so only such values come back
    exactly from its text."""
    while True:
        value = rng.choice([-1, 1]) * rng.randint(0, 1 << 40) / (1 << rng.randint(0, 12))
        if Decimal(repr(value)) == Decimal(value):
            return value


def single_value(rng):
    """An IBM short value inside float's range, as a double holding it exactly."""
    fraction = rng.randint(1 << 20, (1 << 24) - 1)
    exponent = rng.randint(-20, 20)
    value = float(Fraction(fraction, 1 << 24) * Fraction(16) ** exponent)
    return -value if rng.random() < 0.5 else value


def float_layout(ieee):
    cpy = """       01  FLT-REC.
           05  F-1      COMP-1.
           05  F-2      COMP-2.
           05  F-T      PIC X(2).
"""
    if ieee:
        one = Leaf("F-1", lambda rng: struct.unpack("<f", struct.pack("<f", exact_double(rng) / 1024))[0],
                   lambda v: cobdata.ieee_float(v, False, True), kind="float")
        two = Leaf("F-2", lambda rng: rng.choice([exact_double(rng), rng.uniform(-1e300, 1e300)]),
                   lambda v: cobdata.ieee_float(v, True, True), kind="float")
        args = ["-float", "ieee", "-byteorder", "little"]
    else:
        one = Leaf("F-1", single_value, lambda v: cobdata.ibm_float(Fraction(v), False), kind="float")
        two = Leaf("F-2", exact_double, lambda v: cobdata.ibm_float(Fraction(v), True), kind="float")
        args = []
    # The decoder shows floating point as the nearest double (float for
    # COMP-1): the values are compared by their bytes only.
    return Layout("float-ieee" if ieee else "float-ibm", cpy,
                  [one, two, text_leaf("F-T", 2, alphabet="AB")], args=args, length=14,
                  json_values=False)


EDITED = ["ZZ9.99", "ZZ.ZZ", "$$$,$$9.99", "++++9.99", "----.--", "**,**9.99", "Z,ZZ9.99CR",
          "999.99DB", "+ZZZ9", "ZZZ9-", "$**,**9.99", "ZZBZZ9", "99/99/99", "$$$BB9"]


def edited_leaf(key, picture, blank=False):
    # The value's digits and places as the picture holds them.
    symbols = cobdata._picture_symbols(picture)
    point = symbols.index(".") if "." in symbols else len(symbols)
    floats = [c for c in symbols if c in "$+-"]
    floating = len(floats) >= 2
    digits = sum(1 for c in symbols if c in "9Z*") + (len(floats) - 1 if floating else 0)
    scale = sum(1 for i, c in enumerate(symbols) if i > point and (c in "9Z*" or (floating and c in "$+-")))
    signed = any(c in ("+", "-", "CR", "DB") for c in symbols)
    return Leaf(key, lambda rng: decimal_of(rng, digits, scale, signed) if rng.random() > 0.1 else Decimal(0),
                lambda v: cobdata.edited(v, picture, "IBM037", blank), scale=scale)


def edited_layout():
    lines = ["       01  EDIT-REC.", "           05  N-NAT    PIC N(4)."]
    items = [Leaf("N-NAT", lambda rng: text_of(rng, 2, "abcÄé€中文 \U0001F600"),
                  lambda v: cobdata.national(v, 4), kind="text")]
    for i, picture in enumerate(EDITED):
        lines.append(f"           05  E-{i:02d}    PIC {picture}.")
        items.append(edited_leaf(f"E-{i:02d}", picture))
    lines.append("           05  E-BWZ    PIC ZZ9.99 BLANK WHEN ZERO.")
    items.append(edited_leaf("E-BWZ", "ZZ9.99", True))
    for key, picture in (("X-1", "+9.99E+99"), ("X-2", "-99.999E-99")):
        lines.append(f"           05  {key}      PIC {picture}.")
        mantissa = 3 if key == "X-1" else 5

        def make(rng, mantissa=mantissa):
            digits = rng.randint(-10 ** mantissa + 1, 10 ** mantissa - 1)
            # The decoder shows a zero of two integer digits as 00.000E00,
            # which is no JSON: only the one-digit mantissa holds zero here.
            if (rng.random() < 0.1 and mantissa == 3) or digits == 0:
                return Decimal(0) if mantissa == 3 else Decimal(1)
            return Decimal(digits).scaleb(rng.randint(-60, 60))
        items.append(Leaf(key, make, lambda v, p=picture: cobdata.external_float(v, p)))
    length = 8 + sum(len(cobdata.edited(0, p, "ASCII")) for p in EDITED) + 6 + 9 + 11
    return Layout("edited", "\n".join(lines) + "\n", items, length=length)


def tables_layout(framing):
    cpy = """       01  TAB-REC.
           05  T-KEY    PIC X(4).
           05  T-FIX    OCCURS 3.
               10  T-A  PIC S9(3) COMP-3.
               10  FILLER PIC X.
               10  T-B  PIC XX OCCURS 2.
           05  T-G.
               10  T-C  PIC 9(2).
               10  T-D  PIC S9(4) COMP.
           05  T-CNT    PIC 9(2).
           05  T-ODO    OCCURS 0 TO 12 DEPENDING ON T-CNT.
               10  T-E  PIC S9(5)V9 SIGN LEADING SEPARATE.
               10  T-F  PIC X(3).
"""
    count = Leaf("T-CNT", lambda rng: Decimal(rng.randint(0, 12)), lambda v: cobdata.zoned(v, 2, signed=False))
    items = [text_leaf("T-KEY", 4),
             Group("T-FIX", [packed_leaf("T-A", 3, 0, True), Filler(1, "IBM037"),
                             Group("T-B-TABLE", [], 0)], occurs=3),
             Group("T-G", [zoned_leaf("T-C", 2, 0, False), binary_leaf("T-D", 4, 0, True)]),
             count,
             Depending("T-ODO", [zoned_leaf("T-E", 6, 1, True, "leading", True), text_leaf("T-F", 3)],
                       0, 12, "T-CNT")]
    # T-B is an elementary table: a list of texts in the decoder's shape.
    items[1].items[2] = Leaf("T-B", lambda rng: [text_of(rng, 2, "XYZ ") for _ in range(2)],
                             lambda v: b"".join(cobdata.text(t, 2) for t in v), kind="text")
    return Layout(f"tables-{framing}", cpy, items, framing=framing, length=4 + 3 * 7 + 4 + 2 + 12 * 10)


def lenient_layout():
    cpy = """       01  LEN-REC.
           05  L-P6     PIC 9(5) COMP-6.
           05  L-P6V    PIC 9(3)V99 COMP-6.
           05  L-X3     PIC 9(7) COMP-X.
           05  L-XA     PIC X(3) COMP-X.
           05  L-N2     PIC 9(4) COMP-N.
           05  L-BC     BINARY-CHAR.
           05  L-BCU    BINARY-CHAR UNSIGNED.
           05  L-BS     BINARY-SHORT.
           05  L-BLU    BINARY-LONG UNSIGNED.
           05  L-BD     BINARY-DOUBLE.
           05  L-SI     SIGNED-INT.
           05  L-US     UNSIGNED-SHORT.
           05  L-D16    FLOAT-DECIMAL-16.
           05  L-D34    FLOAT-DECIMAL-34.
"""

    def decimal_float(wide):
        def make(rng):
            digits = 34 if wide else 16
            coefficient = rng.randint(0, 10 ** rng.randint(1, digits) - 1)
            # The decoder shows exponents 1 to 64 as whole numbers, which
            # are written back with exponent 0: those values are not canonical.
            exponent = rng.choice([rng.randint(-64, 0), rng.randint(65, 300), rng.randint(-300, -65)])
            if coefficient == 0 and not -64 <= exponent <= 0:
                exponent = 0
            # Zero is shown without its sign.
            value = Decimal(coefficient).scaleb(exponent)
            return Exact(value.copy_negate() if coefficient and rng.random() < 0.5 else value)
        return Leaf("L-D34" if wide else "L-D16", make, lambda v: cobdata.decimal_float(v, wide))

    items = [Leaf("L-P6", lambda rng: decimal_of(rng, 5, 0, False), lambda v: cobdata.unsigned_packed(v, 5)),
             Leaf("L-P6V", lambda rng: decimal_of(rng, 5, 2, False), lambda v: cobdata.unsigned_packed(v, 5, 2), scale=2),
             native_leaf("L-X3", 3, False), native_leaf("L-XA", 3, False), native_leaf("L-N2", 2, False),
             native_leaf("L-BC", 1, True), native_leaf("L-BCU", 1, False), native_leaf("L-BS", 2, True),
             native_leaf("L-BLU", 4, False), native_leaf("L-BD", 8, True), native_leaf("L-SI", 4, True),
             native_leaf("L-US", 2, False), decimal_float(False), decimal_float(True)]
    return Layout("lenient", cpy, items, args=["-lenient"], length=3 + 3 + 3 + 3 + 2 + 1 + 1 + 2 + 4 + 8 + 4 + 2 + 8 + 16)


def pages_layout(page, framing="F"):
    alphabets = {"IBM273": "ABCÄÖÜäöüß{}[]@ 019", "IBM500": "AZaz[]!|^ 09.,", "IBM1140": "AZ€$¢ 09",
                 "ASCII": "AZaz~{}[]| 09", "UTF-8": "AZé€中 09"}
    cpy = """       01  PAGE-REC.
           05  G-TEXT   PIC X(10).
           05  G-ZT     PIC S9(5)V99.
           05  G-ZL     PIC S9(3) SIGN LEADING.
           05  G-ZS     PIC S9(3) SIGN TRAILING SEPARATE.
           05  G-ED     PIC +ZZ9.99.
"""
    alphabet = alphabets[page]

    def text_make(rng):
        while True:
            t = text_of(rng, 10, alphabet)
            if len(cobdata.encode_text(t, page)) <= 10:
                return t
    items = [Leaf("G-TEXT", text_make, lambda v: cobdata.text(v, 10, page), kind="text"),
             zoned_leaf("G-ZT", 7, 2, True, page=page), zoned_leaf("G-ZL", 3, 0, True, "leading", page=page),
             zoned_leaf("G-ZS", 3, 0, True, "trailing", True, page=page),
             Leaf("G-ED", lambda rng: decimal_of(rng, 3, 2, True), lambda v: cobdata.edited(v, "+ZZ9.99", page), scale=2)]
    return Layout(f"page-{page}-{framing}", cpy, items, page=page, framing=framing, length=31)


class ChoiceLayout(Layout):
    """Two records told apart by their first byte, the second with REDEFINES
    alternatives told apart by its second: -when rules on both sides."""

    def __init__(self):
        cpy = """       01  HDR-REC.
           05  H-TYPE   PIC X.
           05  H-DATE   PIC 9(8).
           05  H-NAME   PIC X(11).
       01  DTL-REC.
           05  D-TYPE   PIC X.
           05  D-KIND   PIC X.
           05  D-AMT    PIC S9(7)V99 COMP-3.
           05  D-QTY REDEFINES D-AMT PIC S9(9) COMP.
           05  D-TEXT   PIC X(13).
"""
        rules = ["-when", "H-TYPE=H:HDR-REC", "-when", "H-TYPE=D:DTL-REC",
                 "-when", "D-KIND=A:D-AMT", "-when", "D-KIND=Q:D-QTY"]
        super().__init__("records-and-redefines", cpy, [], args=rules, length=20)

    def records(self, rng, count):
        made = []
        for _ in range(count):
            if rng.random() < 0.3:
                values = {"H-TYPE": "H", "H-DATE": decimal_of(rng, 8, 0, False),
                          "H-NAME": text_of(rng, 11, TEXT037)}
                data = (cobdata.text("H", 1) + cobdata.zoned(values["H-DATE"], 8, signed=False) +
                        cobdata.text(values["H-NAME"], 11))
                made.append(({"HDR-REC": values}, data))
                continue
            kind = rng.choice("AQ")
            values = {"D-TYPE": "D", "D-KIND": kind}
            if kind == "A":
                values["D-AMT"] = decimal_of(rng, 9, 2, True)
                area = cobdata.packed(values["D-AMT"], 9, 2)
            else:
                values["D-QTY"] = decimal_of(rng, 9, 0, True)
                area = cobdata.binary(values["D-QTY"], 9) + cobdata.text("", 1)
            values["D-TEXT"] = text_of(rng, 13, TEXT037)
            data = cobdata.text("D", 1) + cobdata.text(kind, 1) + area + cobdata.text(values["D-TEXT"], 13)
            made.append(({"DTL-REC": values}, data))
        return made


class RoundTrips(unittest.TestCase):
    maxDiff = 2000

    @classmethod
    def setUpClass(cls):
        if not ENCODER or not DECODER:
            raise unittest.SkipTest("VEXFCBL_ENCODE and VEXFCBL_DECODE name the programs")
        cls.scratch = tempfile.TemporaryDirectory(prefix="encode-roundtrip-")

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def files(self, layout):
        folder = os.path.join(self.scratch.name, layout.name)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "rec.cpy"), "w") as f:
            f.write(layout.copybook)
        return folder

    def first_difference(self, layout, want, got, records):
        """The first record whose bytes differ, for the failure message."""
        if layout.framing == "F":
            size = layout.length
            for i in range(0, max(len(want), len(got)), size):
                if want[i:i + size] != got[i:i + size]:
                    return (f"record {i // size + 1}: {json.dumps(records[i // size][0], default=str, ensure_ascii=False)}\n"
                            f"  want {want[i:i + size].hex(' ')}\n  got  {got[i:i + size].hex(' ')}")
        return f"lengths {len(want)} and {len(got)}"

    def check_layout(self, layout):
        rng = random.Random(zlib.crc32(layout.name.encode()))
        folder = self.files(layout)
        cpy = os.path.join(folder, "rec.cpy")
        records = layout.records(rng, RECORDS)
        data = layout.frame([r[1] for r in records])
        canonical = os.path.join(folder, "canonical.dat")
        with open(canonical, "wb") as f:
            f.write(data)
        options = layout.options()
        back = os.path.join(folder, "back.dat")

        # Canonical bytes through the decoder's JSON Lines and back.
        decoded = run(DECODER, ["-i", cpy, "-q", *options, canonical]).stdout
        run(ENCODER, ["-i", cpy, "-q", *layout.encoder_options(), "-o", back], stdin=decoded)
        with open(back, "rb") as f:
            got = f.read()
        self.assertTrue(got == data, f"{layout.name}, through JSON Lines: " +
                        self.first_difference(layout, data, got, records))

        if layout.csv:
            decoded_csv = run(DECODER, ["-i", cpy, "-q", *options, "-format", "csv", canonical]).stdout
            run(ENCODER, ["-i", cpy, "-q", *layout.encoder_options(), "-format", "csv", "-o", back], stdin=decoded_csv)
            with open(back, "rb") as f:
                got = f.read()
            self.assertTrue(got == data, f"{layout.name}, through CSV: " +
                            self.first_difference(layout, data, got, records))

        # The values as JSON written here: cobdata's bytes, and the values again.
        text = "\n".join(json_text(values, None, rng) for values, _ in records) + "\n"
        run(ENCODER, ["-i", cpy, "-q", *layout.encoder_options(), "-o", back], stdin=text.encode())
        with open(back, "rb") as f:
            got = f.read()
        self.assertTrue(got == data, f"{layout.name}, from JSON values: " +
                        self.first_difference(layout, data, got, records))
        if layout.json_values:
            again = run(DECODER, ["-i", cpy, "-q", *options, back]).stdout.decode().splitlines()
            for (values, _), line in zip(records, again):
                self.assertEqual(self.comparable(json.loads(line, parse_float=Decimal)),
                                 self.comparable(values), layout.name)


    def check_raw(self, layout):
        """Any bytes at all, through vexfcbl-decode -raw and back."""
        rng = random.Random(zlib.crc32(layout.name.encode()))
        folder = self.files(layout)
        cpy = os.path.join(folder, "rec.cpy")
        records = layout.records(rng, RECORDS)
        data = layout.frame([r[1] for r in records])
        options = layout.options()
        back = os.path.join(folder, "back.dat")
        noise = bytes(rng.randrange(256) for _ in range(len(data)))
        if layout.framing == "L":
            # A line holds no line end: X'0A' anywhere or X'0D' last.
            noise = noise.replace(b"\n", b"\x0b").replace(b"\r", b"\x0e")
        if layout.framing == "F":
            noisy = noise
        else:
            sizes = [len(r[1]) for r in records]
            pieces, at = [], 0
            for size in sizes:
                pieces.append(noise[at:at + size])
                at += size
            noisy = layout.frame(pieces)
        noisy_file = os.path.join(folder, "noise.dat")
        with open(noisy_file, "wb") as f:
            f.write(noisy)
        raw = run(DECODER, ["-i", cpy, "-q", *options, "-raw", noisy_file]).stdout
        run(ENCODER, ["-i", cpy, "-q", *layout.encoder_options(), "-o", back], stdin=raw)
        with open(back, "rb") as f:
            got = f.read()
        self.assertTrue(got == noisy, f"{layout.name}, any bytes through -raw: " +
                        self.first_difference(layout, noisy, got, [({}, b"")] * len(records)))
        if layout.csv:
            raw_csv = run(DECODER, ["-i", cpy, "-q", *options, "-raw", "-format", "csv", noisy_file]).stdout
            run(ENCODER, ["-i", cpy, "-q", *layout.encoder_options(), "-format", "csv", "-o", back], stdin=raw_csv)
            with open(back, "rb") as f:
                got = f.read()
            self.assertTrue(got == noisy, f"{layout.name}, any bytes through -raw CSV: " +
                            self.first_difference(layout, noisy, got, [({}, b"")] * len(records)))


    def comparable(self, value):
        """Values as equal when equal in value: 1.50 and 1.5, floats as floats."""
        if isinstance(value, dict):
            return {k: self.comparable(v) for k, v in value.items()}
        if isinstance(value, list):
            return [self.comparable(v) for v in value]
        if isinstance(value, (Decimal, int)):
            return Decimal(value).normalize() + 0
        if isinstance(value, float):
            return Decimal(value).normalize()
        return value.rstrip(" ")

    def test_threads_keep_the_order_of_records_and_warnings(self):
        layout = display_layout()
        rng = random.Random(11)
        folder = self.files(layout)
        cpy = os.path.join(folder, "rec.cpy")
        lines = [json_text(values, None, rng) for values, _ in layout.records(rng, RECORDS)]
        # Every 97th record does not fit: a warning each, in input order.
        for i in range(5, len(lines), 97):
            lines[i] = lines[i].replace('"D-U":', '"D-U":123456,"D-X":', 1)
        text = ("\n".join(lines) + "\n").encode()
        outputs = []
        for jobs in ("1", "4"):
            out = os.path.join(folder, f"jobs{jobs}.dat")
            done = run(ENCODER, ["-i", cpy, *layout.encoder_options(), "-j", jobs, "-o", out],
                       stdin=text)
            with open(out, "rb") as f:
                outputs.append((f.read(), done.stderr))
        self.assertTrue(outputs[0][0] == outputs[1][0], "the same bytes with -j 4")
        self.assertEqual(outputs[0][1], outputs[1][1])
        self.assertIn(b": line 6: DISP-REC: unknown key", outputs[0][1])

    def test_display(self):
        self.check_layout(display_layout())

    def test_binary_and_packed(self):
        self.check_layout(binary_layout(False))
        self.check_layout(binary_layout(True))

    def test_floating_point(self):
        self.check_layout(float_layout(False))
        self.check_layout(float_layout(True))

    def test_national_and_edited(self):
        self.check_layout(edited_layout())

    def test_tables_in_every_framing(self):
        for framing in ("F", "V", "VB"):
            self.check_layout(tables_layout(framing))

    def test_records_and_redefines_chosen_by_rules(self):
        self.check_layout(ChoiceLayout())

    def test_lenient_usages(self):
        self.check_layout(lenient_layout())

    def test_any_bytes_through_raw(self):
        if b"-raw" not in run(DECODER, ["--help"]).stdout:
            self.skipTest("this vexfcbl-decode has no -raw")
        for layout in (display_layout(), binary_layout(True), float_layout(False), edited_layout(),
                       tables_layout("F"), tables_layout("V"), tables_layout("VB"),
                       lenient_layout(), pages_layout("IBM273"), pages_layout("UTF-8", "L"),
                       ChoiceLayout()):
            self.check_raw(layout)

    def test_code_pages(self):
        for page in ("IBM273", "IBM500", "IBM1140", "ASCII"):
            self.check_layout(pages_layout(page))
        self.check_layout(pages_layout("UTF-8", "L"))


if __name__ == "__main__":
    unittest.main()
