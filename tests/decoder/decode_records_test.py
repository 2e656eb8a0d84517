"""vexfcbl-decode on files of several record types: several copybooks, segments and
hierarchies (nested, -ids, ranges that hold whole trees), -select and -where, and the
code pages iconv offers.

Data files come from tests/tools/cobdata.py (and the iconv program for the double-byte
pages Python has no codec for); the expected values are the ones given to it.
Run by ctest: VEXFCBL_DECODE names the built program.
"""

import codecs
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

BANK = """\
       01  CUSTOMER.
           05  C-SEG        PIC X.
           05  C-ID         PIC 9(6).
           05  C-NAME       PIC X(9).
       01  ACCOUNT.
           05  A-SEG        PIC X.
           05  A-NO         PIC X(8).
           05  A-BAL        PIC S9(7)V99 COMP-3.
           05  FILLER       PIC X(2).
       01  TXN.
           05  T-SEG        PIC X.
           05  T-AMT        PIC S9(5)V99.
           05  T-KIND       PIC X.
           05  T-COUNT      PIC S9(4) COMP.
           05  FILLER       PIC X(5).
"""
SEGMENTS = ["-segment", "C-SEG", "-when", "C:CUSTOMER", "-when", "A:ACCOUNT", "-when", "T:TXN",
            "-child", "ACCOUNT:CUSTOMER", "-child", "TXN:ACCOUNT"]


def bank(seed=7, customers=80):
    """16-byte records of random trees, and the trees as Python values."""
    rng = random.Random(seed)
    records, trees = [], []
    for c in range(customers):
        name = cobdata.random_text(rng, 9).rstrip() or "X"
        records.append(cobdata.text("C", 1) + cobdata.zoned(c, 6, signed=False)
                       + cobdata.text(name, 9))
        accounts = []
        for a in range(rng.randint(0, 3)):
            balance = Decimal(rng.randint(-10**8, 10**8)) / 100
            records.append(cobdata.text("A", 1) + cobdata.text("A%d.%d" % (c, a), 8)
                           + cobdata.packed(balance, 9, 2) + cobdata.text("", 2))
            txns = []
            for _ in range(rng.randint(0, 4)):
                amount = Decimal(rng.randint(-10**7 + 1, 10**7 - 1)) / 100
                kind = rng.choice("CD")
                count = rng.randint(-9999, 9999)
                records.append(cobdata.text("T", 1) + cobdata.zoned(amount, 7, 2)
                               + cobdata.text(kind, 1) + cobdata.binary(count, 4)
                               + cobdata.text("", 5))
                txns.append((amount, kind, count))
            accounts.append(("A%d.%d" % (c, a), balance, txns))
        trees.append((c, name, accounts))
    return records, trees


class Folder(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vexfcbl-records-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def write(self, name, data):
        with open(os.path.join(self.folder, name), "wb" if isinstance(data, bytes) else "w") as f:
            f.write(data)

    def run_decoder(self, args, status=0):
        run = subprocess.run([DECODER, *args], cwd=self.folder, capture_output=True)
        self.assertEqual(run.returncode, status, run.stderr.decode())
        return run.stdout.decode(), run.stderr.decode()

    def lines(self, args):
        out, _ = self.run_decoder(["-q", *args])
        return [json.loads(line, parse_float=Decimal) for line in out.splitlines()]


class HierarchyTest(Folder):
    def setUp(self):
        super().setUp()
        self.records, self.trees = bank()
        self.write("bank.cpy", BANK)
        self.write("bank.dat", b"".join(self.records))
        self.write("bank.v", cobdata.variable(self.records))
        self.write("bank.vb", cobdata.variable_blocked(self.records, 150))

    def test_nested_trees_are_the_encoded_ones(self):
        got = self.lines(["-i", "bank.cpy", *SEGMENTS, "bank.dat"])
        self.assertEqual(len(got), len(self.trees))
        for line, (c, name, accounts) in zip(got, self.trees):
            customer = line["CUSTOMER"]
            self.assertEqual((customer["C-ID"], customer["C-NAME"].rstrip()), (c, name))
            self.assertEqual([(a["A-NO"].rstrip(), a["A-BAL"], [(t["T-AMT"], t["T-KIND"], t["T-COUNT"])
                                                       for t in a["TXN"]])
                              for a in customer["ACCOUNT"]], accounts)

    def test_ids_name_each_parent_by_its_number(self):
        got = self.lines(["-i", "bank.cpy", "-ids", *SEGMENTS, "bank.v", "-recfm", "V"])
        self.assertEqual([line["_record"] for line in got], list(range(1, len(self.records) + 1)))
        last = {}
        for line in got:
            segment = line["_segment"]
            expected_parent = {"CUSTOMER": None, "ACCOUNT": last.get("CUSTOMER"),
                               "TXN": last.get("ACCOUNT")}[segment]
            self.assertEqual(line["_parent"], expected_parent, line)
            self.assertIn(segment, line)
            last[segment] = line["_record"]

    def test_every_split_of_every_framing_equals_the_single_run(self):
        for name, framing in (("bank.dat", []), ("bank.v", ["-recfm", "V"]),
                              ("bank.vb", ["-recfm", "VB"])):
            for extra in ([], ["-ids"]):
                args = ["-i", "bank.cpy", "-q", *framing, *SEGMENTS, *extra]
                whole, _ = self.run_decoder([*args, name])
                for size in ("50", "300", "1K"):
                    with self.subTest(name=name, extra=extra, size=size):
                        plan, _ = self.run_decoder([*args, "-splits", size, name])
                        self.assertGreater(len(plan.split()), 2)
                        parts = "".join(self.run_decoder([*args, "-range", r, name])[0]
                                        for r in plan.split())
                        self.assertEqual(parts, whole)

    def test_children_before_their_parent_are_warned_and_kept(self):
        orphan = self.records[-1] if self.records[-1][:1] == b"\xe3" else None
        txn = next(r for r in self.records if r[:1] == b"\xe3")  # 'T' in IBM037
        self.write("o.dat", txn + b"".join(self.records[:3]) + (orphan or b""))
        out, err = self.run_decoder(["-i", "bank.cpy", "-q", *SEGMENTS, "o.dat"])
        self.assertTrue(out.splitlines()[0].startswith('{"TXN":'))
        self.assertIn("o.dat: record 1, byte 0: segment TXN has no ACCOUNT record before it",
                      err)

    def test_bad_hierarchies_are_refused(self):
        for extra, message in (
                (["-child", "NOPE:CUSTOMER"], "-child NOPE:CUSTOMER: NOPE is no segment"),
                (["-child", "CUSTOMER:TXN"], "CUSTOMER would be its own ancestor"),
                (["-child", "TXN:CUSTOMER"], "TXN already has the parent ACCOUNT"),
                (["-format", "csv"], "-child nests records, which CSV cannot hold")):
            with self.subTest(extra=extra):
                _, err = self.run_decoder(["-i", "bank.cpy", *SEGMENTS, *extra, "bank.dat"], 1)
                self.assertIn(message, err)
        _, err = self.run_decoder(["-i", "bank.cpy", "-when", "C:CUSTOMER", "bank.dat"], 1)
        self.assertIn("-when C:CUSTOMER: give FIELD=VALUE:NAME, or -segment FIELD", err)


class ProjectionTest(Folder):
    def setUp(self):
        super().setUp()
        self.records, self.trees = bank(seed=11)
        self.write("bank.cpy", BANK)
        self.write("bank.dat", b"".join(self.records))

    def test_where_compares_numbers_by_value_and_text_after_the_code_page(self):
        balances = [a[1] for _, _, accounts in self.trees for a in accounts]
        wanted = sorted(set(balances[::3]))
        # Written as a user would: no trailing zeros, a leading plus.
        text = ",".join(("+" if b > 0 else "") + format(b.normalize(), "f") for b in wanted)
        got = self.lines(["-i", "bank.cpy", "-segment", "C-SEG", "-when", "C:CUSTOMER",
                          "-when", "A:ACCOUNT", "-when", "T:TXN", "-where", "A-BAL=" + text,
                          "-where", "T-KIND=D", "bank.dat"])
        kept = [line["ACCOUNT"]["A-BAL"] for line in got if "ACCOUNT" in line]
        self.assertEqual(kept, [b for b in balances if b in wanted])
        self.assertTrue(all(line["TXN"]["T-KIND"] == "D" for line in got if "TXN" in line))
        self.assertEqual(sum("CUSTOMER" in line for line in got), len(self.trees))

    def test_where_on_a_binary_count_and_a_zoned_amount(self):
        txns = [t for _, _, accounts in self.trees for a in accounts for t in a[2]]
        amount, kind, count = txns[5]
        got = self.lines(["-i", "bank.cpy", "-record", "TXN", "-where", "T-COUNT=%d" % count,
                          "-where", "T-AMT=%s" % amount, "-where", "T-SEG=T", "bank.dat"])
        self.assertEqual([(line["TXN"]["T-AMT"], line["TXN"]["T-COUNT"]) for line in got],
                         [(t[0], t[2]) for t in txns if t[2] == count and t[0] == amount])

    def test_a_record_left_out_still_has_its_descriptor_word_checked(self):
        records = self.records[:4]
        data = bytearray(cobdata.variable(records))
        data[2] = 1  # the first RDW's reserved bytes: 00 01 00, a CUSTOMER left out
        self.write("bank.v", bytes(data))
        out, err = self.run_decoder(["-i", "bank.cpy", "-recfm", "V", "-record", "CUSTOMER",
                                     "-where", "C-ID=999999", "bank.v"])
        self.assertEqual(out, "")
        self.assertIn("bank.v: record 1, byte 0: record descriptor word's reserved bytes", err)
        self.assertIn("4 records read, 0 written, 1 with warnings", err)

    def test_select_writes_only_the_fields_named(self):
        got = self.lines(["-i", "bank.cpy", "-segment", "C-SEG", "-when", "C:CUSTOMER",
                          "-when", "A:ACCOUNT", "-when", "T:TXN",
                          "-select", "CUSTOMER.C-NAME,A-BAL,TXN", "bank.dat"])
        self.assertEqual({tuple(line[k]) for line in got for k in line},
                         {("C-NAME",), ("A-BAL",),
                          ("T-SEG", "T-AMT", "T-KIND", "T-COUNT")})
        _, err = self.run_decoder(["-i", "bank.cpy", "-select", "NOPE", "bank.dat"], 1)
        self.assertIn("-select NOPE: no such field", err)
        _, err = self.run_decoder(["-i", "bank.cpy", "-where", "A-BAL=abc", "bank.dat"], 1)
        self.assertIn("-where A-BAL=abc: ACCOUNT.A-BAL is a number", err)

    def test_select_after_a_table_that_depends_on_a_count_left_out(self):
        self.write("odo.cpy", """\
       01  ODO-REC.
           05  O-COUNT      PIC 9.
           05  O-ITEM       PIC X(2) OCCURS 0 TO 4 DEPENDING ON O-COUNT.
           05  O-TAIL       PIC S9(3) COMP-3.
           05  O-NAME       PIC X(3).
""")
        rng = random.Random(3)
        values = [(n, rng.randint(-999, 999), cobdata.random_text(rng, 3)) for n in
                  (0, 4, 2, 1, 3)]
        data = b"".join(cobdata.zoned(n, 1, signed=False) + cobdata.text("XY" * n, 2 * n)
                        + cobdata.packed(t, 3) + cobdata.text(s, 3) for n, t, s in values)
        self.write("odo.dat", data)
        got = self.lines(["-i", "odo.cpy", "-variable-occurs", "-select", "O-TAIL,O-NAME",
                          "odo.dat"])
        self.assertEqual([(line["ODO-REC"]["O-TAIL"], line["ODO-REC"]["O-NAME"]) for line in got],
                         [(t, s.ljust(3)) for _, t, s in values])
        self.assertEqual({tuple(line["ODO-REC"]) for line in got}, {("O-TAIL", "O-NAME")})


class CopybooksTest(Folder):
    def test_records_of_two_copybooks_with_a_copied_member(self):
        self.write("a.cpy", "       01  A-REC.\n           COPY akeys.\n"
                            "           05  A-VAL        PIC S9(3) COMP-3.\n")
        self.write("akeys.cpy", "           05  A-TYPE       PIC X.\n")
        self.write("b.cpy", "       01  B-REC.\n           05  B-TYPE       PIC X.\n"
                            "           05  B-NAME       PIC X(4).\n")
        data = [cobdata.text("A", 1) + cobdata.packed(-12, 3),
                cobdata.text("B", 1) + cobdata.text("JOHN", 4)]
        self.write("ab.v", cobdata.variable(data))
        got = self.lines(["-i", "a.cpy", "-i", "b.cpy", "-recfm", "V", "-segment", "A-TYPE",
                          "-when", "A:A-REC", "-when", "B:B-REC", "-ids", "ab.v"])
        self.assertEqual(got, [
            {"_record": 1, "_segment": "A-REC", "_parent": None,
             "A-REC": {"A-TYPE": "A", "A-VAL": -12}},
            {"_record": 2, "_segment": "B-REC", "_parent": None,
             "B-REC": {"B-TYPE": "B", "B-NAME": "JOHN"}}])
        # The output is never a copybook, COPY members included.
        _, err = self.run_decoder(["-i", "a.cpy", "-i", "b.cpy", "-o", "akeys.cpy", "ab.v"], 1)
        self.assertIn("akeys.cpy", err)


class CodePageTest(Folder):
    def test_every_listed_page_with_a_python_codec_decodes_as_it_encodes(self):
        out, _ = self.run_decoder(["-i", "x.cpy", "-codepage", "help"])
        pages = out.split()
        for page in ("IBM037", "IBM1047", "IBM1141", "IBM1148", "IBM870", "IBM875", "IBM1025",
                     "ASCII", "UTF-8"):
            self.assertIn(page, pages)
        self.write("x.cpy", "       01  X-REC.\n           05  X-TEXT       PIC X(64).\n")
        checked = 0
        for page in pages:
            codec = "cp%03d" % int(page[3:]) if page.startswith("IBM") else None
            try:
                codecs.lookup(codec or "")
            except LookupError:
                continue
            # Every character the codec gives a byte for, but the controls.
            text = "".join(chr(c) for c in range(0x20, 0x3000)
                           if chr(c).isprintable() and _encodes(chr(c), codec)
                           and chr(c).encode(codec)[0] not in TABLES_DIFFER.get(page, ()))
            for start in range(0, len(text), 64):
                chunk = text[start:start + 64].ljust(64)
                with self.subTest(page=page, chunk=chunk):
                    self.write("x.dat", chunk.encode(codec))
                    got = self.lines(["-i", "x.cpy", "-codepage", page, "x.dat"])
                    self.assertEqual(got[0]["X-REC"]["X-TEXT"], chunk)
            checked += 1
        self.assertGreaterEqual(checked, 6)

    def test_double_byte_pages_of_iconv(self):
        out, _ = self.run_decoder(["-i", "x.cpy", "-dbcs", "help"])
        self.write("d.cpy", "       01  D-REC.\n           05  D-TEXT       PIC G(4) DISPLAY-1.\n"
                            "           05  D-MIX        PIC X(10).\n")
        samples = {"IBM933": "한국어", "IBM935": "简体中文", "IBM937": "繁體中文",
                   "IBM1364": "서울", "IBM1371": "臺北", "IBM1388": "北京"}
        for page, text in samples.items():
            if page not in out.split():
                continue
            with self.subTest(page=page):
                self.write("d.dat", cobdata.dbcs(text, 4, page)
                           + cobdata.mixed(["X", text[:2], "Y"], 10, "IBM037", page))
                got = self.lines(["-i", "d.cpy", "-dbcs", page, "d.dat"])[0]["D-REC"]
                self.assertEqual(got["D-TEXT"], text.ljust(4, "\u3000"))
                self.assertEqual(got["D-MIX"], ("X" + text[:2] + "Y").ljust(10 - 4))
        self.assertIn("IBM935", out.split())


# Bytes where Python's codec and the iconv table the decoder reads disagree
# (vendor table versions: overline or macron, a control or no character);
# the decoder follows iconv, so these are not checked against Python.
TABLES_DIFFER = {"IBM273": {0xBC}, "IBM424": {0x78, 0x8F}, "IBM875": {0x6A, 0x74, 0xDD},
                 "IBM1026": {0x9D, 0xBC}}


def _encodes(c, codec):
    try:
        return len(c.encode(codec)) == 1
    except UnicodeEncodeError:
        return False


if __name__ == "__main__":
    unittest.main()
