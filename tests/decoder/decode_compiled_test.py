"""vexfcbl-decode's lines of a fixed layout (each record written by steps compiled once):
numbers of every length and scale first in the record and ending it, bad bytes at its end,
-select of the first, the last and an OCCURS member, a record of FILLER only, and output
of many megabytes on one thread and on two, with -strict stopping in the middle of it,
and keys between two values longer than one 16-byte copy.

The records come from tests/tools/cobdata.py; the expected texts are its values spelled
by the decoder's documented rule (the exact decimal with as many places as the picture's
scale, zero without a sign), the warnings IBM's rules for bad packed and zoned bytes.
Run by ctest: VEXFCBL_DECODE names the built program.
"""

import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest
from decimal import Decimal

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import cobdata  # noqa: E402

DECODER = os.environ["VEXFCBL_DECODE"]


def spelled(value, scale):
    """The text of a decimal value with `scale` places, as the decoder writes it."""
    text = format(Decimal(value), ".%df" % scale)
    return text[1:] if text.startswith("-") and Decimal(value) == 0 else text


def raw_numbers(line):
    """The JSON line's values, numbers kept as their text."""
    return json.loads(line, parse_float=str, parse_int=str)


class Folder(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vexfcbl-compiled-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def write(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path, "wb" if isinstance(data, bytes) else "w") as f:
            f.write(data)
        return path

    def decode(self, copybook, data, *options, check=True):
        done = subprocess.run([DECODER, "-i", self.write("r.cpy", copybook), *options,
                               self.write("r.dat", data)], capture_output=True)
        if check:
            self.assertEqual(done.returncode, 0, done.stderr.decode())
        return done


# (picture and usage, digits, scale, signed, encoder, length of one field)
def usages():
    cases = []
    for digits in range(1, 19):
        for scale in sorted({0, 1, min(digits, 7), min(digits, 8), digits}):
            if scale > digits:
                continue
            places = "V" + "9" * scale if scale else ""
            whole = digits - scale
            pic = ("9(%d)" % whole if whole else "") + places
            for signed in (True, False):
                s = "S" if signed else ""
                cases.append(("PIC %s%s COMP-3" % (s, pic), digits, scale, signed,
                              lambda v, d=digits, sc=scale, sg=signed: cobdata.packed(v, d, sc, sg),
                              cobdata.packed_length(digits)))
                cases.append(("PIC %s%s" % (s, pic), digits, scale, signed,
                              lambda v, d=digits, sc=scale, sg=signed: cobdata.zoned(v, d, sc, sg),
                              digits))
                if digits in (4, 9, 18) or digits == 2:
                    cases.append(("PIC %s%s COMP" % (s, pic), digits, scale, signed,
                                  lambda v, d=digits, sc=scale, sg=signed:
                                  cobdata.binary(v, d, sc, sg), cobdata.binary_length(digits)))
            cases.append(("PIC S%s SIGN LEADING" % pic, digits, scale, True,
                          lambda v, d=digits, sc=scale: cobdata.zoned(v, d, sc, True, "leading"),
                          digits))
    return cases


def values(digits, scale, signed, rng):
    top = 10 ** digits - 1
    whole = [0, 1, top, 10 ** (digits - 1), rng.randint(0, top), rng.randint(0, top)]
    if signed:
        whole += [-1, -top, -rng.randint(1, top)]
    return [Decimal(w).scaleb(-scale) for w in whole]


class NumbersAtTheEdges(Folder):
    def test_every_length_and_scale_first_and_last_in_the_record(self):
        """A field at offset 0 and the same field ending the record (the decoder may read
        ahead of the first, never past the second), JSON Lines and CSV, one thread and two."""
        rng = random.Random(35)
        for pic, digits, scale, signed, encode, length in usages():
            copybook = ("       01  R.\n           05  A  %s.\n           05  M  PIC X(3).\n"
                        "           05  B  %s.\n" % (pic, pic))
            rows = values(digits, scale, signed, rng)
            data = b"".join(encode(v) + cobdata.text("M", 3) + encode(w)
                            for v, w in zip(rows, reversed(rows)))
            want = [(spelled(v, scale), spelled(w, scale)) for v, w in zip(rows, reversed(rows))]
            with self.subTest(pic=pic):
                lines = self.decode(copybook, data).stdout
                got = [raw_numbers(line)["R"] for line in lines.decode().splitlines()]
                self.assertEqual([(r["A"], r["B"]) for r in got], want)
                self.assertEqual(self.decode(copybook, data, "-j", "2").stdout, lines)
                csv_rows = self.decode(copybook, data, "-format", "csv").stdout.decode()
                self.assertEqual([tuple(row.split(",")[::2]) for row in csv_rows.splitlines()[1:]],
                                 want)

    def test_bad_bytes_ending_the_record_are_null_with_a_warning(self):
        """The last field's bad bytes: a packed sign nibble 4, a packed digit nibble A, a
        zoned blank, a zoned byte of zone A, a zoned sign zone B, a negative sign in an
        unsigned packed field."""
        cases = [("PIC S9(5)V99 COMP-3", b"\x01\x23\x45\x64", "invalid packed decimal"),
                 ("PIC S9(3) COMP-3", b"\x1A\x3C", "invalid packed decimal"),
                 ("PIC 9(3) COMP-3", b"\x12\x3D", "invalid packed decimal"),
                 ("PIC S9(15) COMP-3", b"\x00" * 7 + b"\xA4", "invalid packed decimal"),
                 ("PIC 9(4)", b"\xF1\x40\xF2\xF3", "invalid zoned decimal"),
                 ("PIC S9(4)V9", b"\xF1\xF2\xA3\xF4\xC5", "invalid zoned decimal"),
                 ("PIC S9(4)", b"\xF1\xF2\xF3\xB4", "invalid zoned decimal")]
        for pic, bad, what in cases:
            copybook = "       01  R.\n           05  T  PIC X(2).\n           05  B  %s.\n" % pic
            with self.subTest(pic=pic):
                done = self.decode(copybook, cobdata.text("OK", 2) + bad)
                self.assertEqual(json.loads(done.stdout), {"R": {"T": "OK", "B": None}})
                self.assertIn("record 1, byte 2: R.B: " + what, done.stderr.decode())

    def test_zoned_on_other_ebcdic_pages(self):
        """Zoned decimal under code pages whose digits are F0 to F9 like IBM037's."""
        copybook = "       01  R.\n           05  A  PIC S9(6)V99.\n           05  B  PIC 9(3).\n"
        rng = random.Random(4)
        rows = [(Decimal(rng.randint(-10**8 + 1, 10**8 - 1)) / 100, rng.randint(0, 999))
                for _ in range(50)]
        for page in ("IBM273", "IBM500", "IBM1140", "IBM1026", "IBM875"):
            data = b"".join(cobdata.zoned(a, 8, 2, page=page)
                            + cobdata.zoned(b, 3, signed=False, page=page) for a, b in rows)
            with self.subTest(page=page):
                lines = self.decode(copybook, data, "-codepage", page).stdout.decode()
                self.assertEqual([(r["R"]["A"], r["R"]["B"]) for r in map(raw_numbers, lines.splitlines())],
                                 [(spelled(a, 2), str(b)) for a, b in rows])


TABLE = """\
       01  R.
           05  F-FIRST  PIC X(4).
           05  G OCCURS 3.
               10  G-AMT  PIC S9(5)V99 COMP-3.
               10  G-DAYS PIC 9(3).
           05  FILLER   PIC X(2).
           05  F-LAST   PIC S9(7) COMP-3.
"""


class SelectAtTheEdges(Folder):
    def rows(self):
        rng = random.Random(12)
        rows = []
        for i in range(40):
            amounts = [(Decimal(rng.randint(-9999999, 9999999)) / 100, rng.randint(0, 999))
                       for _ in range(3)]
            rows.append((cobdata.random_text(rng, 4).ljust(4), amounts, rng.randint(-9999999, 9999999)))
        data = b"".join(cobdata.text(first, 4)
                        + b"".join(cobdata.packed(a, 7, 2) + cobdata.zoned(d, 3, signed=False)
                                   for a, d in amounts)
                        + cobdata.text("", 2) + cobdata.packed(last, 7) for first, amounts, last in rows)
        return rows, data

    def test_first_last_and_occurs_member(self):
        rows, data = self.rows()
        cases = [("F-FIRST", lambda r: {"F-FIRST": r[0]}),
                 ("F-LAST", lambda r: {"F-LAST": str(r[2])}),
                 ("G-DAYS", lambda r: {"G": [{"G-DAYS": str(d)} for _, d in r[1]]}),
                 ("F-LAST,F-FIRST", lambda r: {"F-FIRST": r[0], "F-LAST": str(r[2])}),
                 ("G", lambda r: {"G": [{"G-AMT": spelled(a, 2), "G-DAYS": str(d)}
                                        for a, d in r[1]]})]
        for select, want in cases:
            with self.subTest(select=select):
                lines = self.decode(TABLE, data, "-select", select).stdout.decode().splitlines()
                self.assertEqual([raw_numbers(line)["R"] for line in lines],
                                 [want(r) for r in rows])

    def test_select_in_csv_keeps_the_columns_of_the_fields_chosen(self):
        rows, data = self.rows()
        text = self.decode(TABLE, data, "-format", "csv", "-select", "F-LAST,G-AMT").stdout.decode()
        lines = text.splitlines()
        self.assertEqual(lines[0], "G[1].G-AMT,G[2].G-AMT,G[3].G-AMT,F-LAST")
        self.assertEqual(lines[1:], [",".join([spelled(a, 2) for a, _ in r[1]] + [str(r[2])])
                                     for r in rows])

    def test_a_record_of_filler_only_is_an_empty_object(self):
        copybook = "       01  R.\n           05  FILLER  PIC X(3).\n           05  FILLER  PIC S9(3) COMP-3.\n"
        data = (cobdata.text("ABC", 3) + cobdata.packed(-12, 3)) * 3
        self.assertEqual(self.decode(copybook, data).stdout, b'{"R":{}}\n' * 3)


BENCH = """\
       01  B.
           05  B-ID    PIC 9(8).
           05  B-NAME  PIC X(20).
           05  B-BAL   PIC S9(9)V99 COMP-3.
           05  B-RATE  PIC S9(3)V9(4).
           05  B-COUNT PIC S9(4) COMP.
           05  B-TOTAL PIC S9(9) BINARY.
           05  B-M OCCURS 4.
               10  B-M-AMT  PIC S9(5)V99 COMP-3.
               10  B-M-DAYS PIC 99.
           05  B-CODE  PIC X(19).
"""
RECORDS = 60_000  # about 12 MB of lines: the single thread's buffer is written several times


class ManyLines(Folder):
    def records(self):
        rng = random.Random(60)
        rows, data = [], []
        for i in range(RECORDS):
            row = (i, cobdata.random_text(rng, 20).rstrip(), Decimal(rng.randint(-10**11 + 1, 10**11 - 1)) / 100,
                   Decimal(rng.randint(-9999999, 9999999)) / 10000, rng.randint(-9999, 9999),
                   rng.randint(-999999999, 999999999),
                   [(Decimal(rng.randint(-9999999, 9999999)) / 100, rng.randint(0, 99)) for _ in range(4)])
            rows.append(row)
            data.append(cobdata.zoned(row[0], 8, signed=False) + cobdata.text(row[1], 20)
                        + cobdata.packed(row[2], 11, 2) + cobdata.zoned(row[3], 7, 4)
                        + cobdata.binary(row[4], 4) + cobdata.binary(row[5], 9)
                        + b"".join(cobdata.packed(a, 7, 2) + cobdata.zoned(d, 2, signed=False)
                                   for a, d in row[6])
                        + cobdata.text("X%d" % (i % 97), 19))
        return rows, data

    def test_every_line_of_many_megabytes_one_thread_and_two(self):
        rows, data = self.records()
        out = self.decode(BENCH, b"".join(data)).stdout
        lines = out.decode().splitlines()
        self.assertEqual(len(lines), RECORDS)
        for row, line in zip(rows, lines):
            got = raw_numbers(line)["B"]
            self.assertEqual((got["B-ID"], got["B-NAME"].rstrip(), got["B-BAL"], got["B-RATE"],
                              got["B-COUNT"], got["B-TOTAL"]),
                             (str(row[0]), row[1], spelled(row[2], 2), spelled(row[3], 4),
                              str(row[4]), str(row[5])))
            self.assertEqual([(m["B-M-AMT"], m["B-M-DAYS"]) for m in got["B-M"]],
                             [(spelled(a, 2), str(d)) for a, d in row[6]])
        self.assertEqual(self.decode(BENCH, b"".join(data), "-j", "2").stdout, out)

    def test_strict_stops_at_a_bad_record_after_megabytes_of_lines(self):
        """The lines before the bad record are all written, the bad one and those after not."""
        _, data = self.records()
        bad = 45_000
        clean = self.decode(BENCH, b"".join(data)).stdout.splitlines(keepends=True)
        # B-BAL's sign nibble made 4.
        record = bytearray(data[bad - 1])
        record[33] = (record[33] & 0xF0) | 0x4
        data[bad - 1] = bytes(record)
        done = self.decode(BENCH, b"".join(data), "-strict", check=False)
        self.assertNotEqual(done.returncode, 0)
        self.assertEqual(done.stdout, b"".join(clean[:bad - 1]))
        # The byte counts in the file: the record's start and B-BAL's offset in it.
        self.assertIn("record %d, byte %d: B.B-BAL: invalid packed decimal" % (bad, (bad - 1) * 90 + 28),
                      done.stderr.decode())


class BinaryBeyondThePicture(Folder):
    def test_whole_halfwords_and_fullwords_at_every_scale(self):
        """Binary fields hold more than their picture's digits, and the decoder gives the
        whole value: halfwords and fullwords at their ends (ten-digit fullwords among
        them), at scales 0 to 9, signed and not, first and last in the record. The bytes
        are Python's struct packing; the texts the exact decimals."""
        import struct
        rng = random.Random(10)
        for size, digits, form in ((2, 4, "h"), (4, 9, "i")):
            top = 2 ** (8 * size)
            for signed in (True, False):
                low, high = (-top // 2, top // 2 - 1) if signed else (0, top - 1)
                wholes = sorted({0, 1, 9, 10, 99, 100, 9999, 10000, high, high - 1, low, low + 1,
                                 *(w for w in (99999999, 100000000, 999999999, 1000000000)
                                   if low <= w <= high),
                                 *(-w for w in (1, 10, 99999999, 100000000, 1000000000) if -w >= low),
                                 *(rng.randint(low, high) for _ in range(20))})
                for scale in range(0, 10):
                    if scale > digits:
                        continue
                    places = "V" + "9" * scale if scale else ""
                    pic = "%s9(%d)%s COMP" % ("S" if signed else "", digits - scale, places) \
                        if digits > scale else "%sV9(%d) COMP" % ("S" if signed else "", scale)
                    copybook = ("       01  R.\n           05  A  PIC %s.\n"
                                "           05  M  PIC X.\n           05  B  PIC %s.\n" % (pic, pic))
                    code = form if signed else form.upper()
                    data = b"".join(struct.pack(">" + code, v) + cobdata.text("M", 1) + struct.pack(">" + code, w)
                                    for v, w in zip(wholes, reversed(wholes)))
                    want = [(spelled(Decimal(v).scaleb(-scale), scale), spelled(Decimal(w).scaleb(-scale), scale))
                            for v, w in zip(wholes, reversed(wholes))]
                    with self.subTest(pic=pic):
                        lines = self.decode(copybook, data).stdout.decode().splitlines()
                        self.assertEqual([(raw_numbers(l)["R"]["A"], raw_numbers(l)["R"]["B"]) for l in lines], want)
                        rows = self.decode(copybook, data, "-format", "csv").stdout.decode().splitlines()[1:]
                        self.assertEqual([tuple(row.split(",")[::2]) for row in rows], want)


class TextAndItsBlanks(Folder):
    def test_every_length_of_content_before_the_blanks(self):
        """Text fields of 1 to 40 bytes holding 0 to all of their length before blanks,
        the content ending in a quote, a comma, a backslash, a no-break space or a letter,
        first and last in the record; JSON Lines and CSV, with and without -trim. Expected:
        Python's cp037 decoding, json.dumps and the CSV quoting rule."""
        rng = random.Random(41)
        alphabet = "ABCXYZ019 ,.-\\\"\u00e9\u00a0"
        for length in list(range(1, 25)) + [31, 32, 33, 40]:
            rows = []
            for content in sorted({0, 1, length // 2, max(length - 1, 0), length, rng.randint(0, length)}):
                for last in ("A", '"', ",", "\\", "\u00a0", " "):
                    text = "".join(rng.choice(alphabet) for _ in range(max(content - 1, 0)))
                    text = (text + last)[:content] if content else ""
                    rows.append(text.ljust(length))
            copybook = ("       01  R.\n           05  A  PIC X(%d).\n"
                        "           05  N  PIC S9(3) COMP-3.\n           05  B  PIC X(%d).\n"
                        % (length, length))
            data = b"".join(a.encode("cp037") + cobdata.packed(-5, 3) + b.encode("cp037")
                            for a, b in zip(rows, reversed(rows)))
            pairs = list(zip(rows, reversed(rows)))

            def csv_field(text):
                return '"%s"' % text.replace('"', '""') if any(c in text for c in ',"') else text

            for trim in (False, True):
                cut = (lambda t: t.rstrip(" ")) if trim else (lambda t: t)
                options = ("-trim",) if trim else ()
                with self.subTest(length=length, trim=trim):
                    lines = self.decode(copybook, data, *options).stdout.decode()
                    self.assertEqual(lines, "".join(
                        '{"R":{"A":%s,"N":-5,"B":%s}}\n'
                        % (json.dumps(cut(a), ensure_ascii=False), json.dumps(cut(b), ensure_ascii=False))
                        for a, b in pairs))
                    table = self.decode(copybook, data, "-format", "csv", *options).stdout.decode()
                    self.assertEqual(table.split("\r\n")[1:-1],
                                     ["%s,-5,%s" % (csv_field(cut(a)), csv_field(cut(b))) for a, b in pairs])


LONG = "A-NAME-OF-THIRTY-CHARACTERS-"  # 28 characters; two more make each name 30


class LongKeys(Folder):
    def test_keys_and_braces_longer_than_one_copy_between_two_values(self):
        """Nested groups of 30-character names: the text between two values runs to 32, 33,
        64, 65 and more than 96 bytes. The whole line is compared with Python's json.dumps of
        the values in copybook order."""
        rng = random.Random(33)
        names = ["%s%02d" % (LONG, i) for i in range(12)]
        copybook = ("       01  %s.\n" % names[0]
                    + "           05  %s.\n" % names[1]
                    + "               10  %s.\n" % names[2]
                    + "                   15  %s\n                       PIC X(3).\n" % names[3]
                    + "                   15  %s\n                       PIC S9(5)V99 COMP-3.\n" % names[4]
                    + "               10  %s\n                   OCCURS 2.\n" % names[5]
                    + "                   15  %s\n                       PIC 9(4).\n" % names[6]
                    + "                   15  %s.\n" % names[7]
                    + "                       20  %s\n                       PIC X(2).\n" % names[8]
                    + "           05  %s\n               PIC S9(9) COMP.\n" % names[9]
                    + "           05  AB PIC X.\n"
                    + "           05  %s\n               PIC S9(3) COMP-3.\n" % names[10])
        rows, data = [], b""
        for _ in range(30):
            row = (cobdata.random_text(rng, 3).ljust(3), Decimal(rng.randint(-9999999, 9999999)) / 100,
                   [(rng.randint(0, 9999), cobdata.random_text(rng, 2).ljust(2)) for _ in range(2)],
                   rng.randint(-999999999, 999999999), cobdata.random_text(rng, 1).ljust(1),
                   rng.randint(-999, 999))
            rows.append(row)
            data += (cobdata.text(row[0], 3) + cobdata.packed(row[1], 7, 2)
                     + b"".join(cobdata.zoned(d, 4, signed=False) + cobdata.text(t, 2) for d, t in row[2])
                     + cobdata.binary(row[3], 9) + cobdata.text(row[4], 1) + cobdata.packed(row[5], 3))
        # Numbers are raw JSON numbers: put in by a marker replaced after dumping.
        want = []
        for row in rows:
            line = {names[0]: {
                names[1]: {names[2]: {names[3]: row[0], names[4]: "#%s#" % spelled(row[1], 2)},
                           names[5]: [{names[6]: "#%d#" % d, names[7]: {names[8]: t}} for d, t in row[2]]},
                names[9]: "#%d#" % row[3], "AB": row[4], names[10]: "#%d#" % row[5]}}
            text = json.dumps(line, separators=(",", ":"))
            want.append(text.replace('"#', "").replace('#"', "") + "\n")
        for options in ((), ("-j", "2")):
            with self.subTest(options=options):
                self.assertEqual(self.decode(copybook, data, *options).stdout.decode(), "".join(want))
        selected = self.decode(copybook, data, "-select", "%s,%s" % (names[8], names[10])).stdout.decode()
        self.assertEqual(selected.splitlines(),
                         ['{"%s":{"%s":{"%s":[{"%s":{"%s":"%s"}},{"%s":{"%s":"%s"}}]},"%s":%d}}'
                          % (names[0], names[1], names[5], names[7], names[8], r[2][0][1],
                             names[7], names[8], r[2][1][1], names[10], r[5]) for r in rows])


if __name__ == "__main__":
    unittest.main()
