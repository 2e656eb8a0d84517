"""vexfcbl-decode -diagnose against files whose framing is known.

Every data file here is written by tests/tools/cobdata.py, an encoder that
shares no code with the decoder, with options chosen by the test (record
format, descriptor-word byte order and adjustment, header bytes, code page,
record types); the existing decode golden cases add files whose right options
are their `args`. -diagnose is given each file without those options: the
command it recommends must name them again (for at least 90 % of the cases),
and must decode the file with no more warnings than the right options give.

Environment: VEXFCBL_DECODE, the program; VEXFCBL_TEST_OUT, a folder that keeps
the reports (optional).
"""

from __future__ import annotations

import json
import os
import random
import shlex
import struct
import subprocess
import sys
import tempfile
import unittest
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tools"))
import cobdata  # noqa: E402
from cobdata import Field  # noqa: E402

DECODE = os.environ.get("VEXFCBL_DECODE", "vexfcbl-decode")
GOLDEN = HERE.parent / "golden"

FRAMING_OPTIONS = {"-recfm": 1, "-lrecl": 1, "-rdw": 1, "-rdw-adjust": 1, "-skip-bytes": 1, "-skip-trailer-bytes": 1,
                   "-codepage": 1, "-record": 1, "-when": 1}


def decoder_has(option: str) -> bool:
    help_text = subprocess.run([DECODE, "--help"], capture_output=True, text=True).stdout
    return f"\t{option} " in help_text


def account_fields(with_note: bool = False) -> list[Field]:
    """A record of the usual kinds; `with_note` adds a 30-byte item in the middle."""
    fields = [
        Field("ACCT-ID", "9(8)"),
        Field("ACCT-NAME", "X(20)"),
        Field("ACCT-CITY", "X(15)"),
    ]
    if with_note:
        fields.append(Field("ACCT-NOTE", "X(30)"))
    fields += [
        Field("ACCT-BAL", "S9(9)V99", "COMP-3"),
        Field("ACCT-COUNT", "S9(4)", "COMP"),
        Field("ACCT-RATE", "S9(3)V9(4)"),
        Field("ACCT-DATE", "9(8)"),
        Field("ACCT-HIST", occurs=3, children=[Field("H-AMT", "S9(7)V99", "COMP-3"),
                                                 Field("H-CODE", "X(2)")]),
        Field("ACCT-FLAGS", "X(4)"),
    ]
    return fields


NAMES = ["MUELLER", "SCHMIDT", "SMITH", "JONES", "GARCIA", "ROSSI", "DUPONT", "NOVAK", "OLSEN"]
CITIES = ["BERLIN", "NEW YORK", "MADRID", "ROMA", "PARIS", "OSLO", "BRNO", "LYON"]
GERMAN_NAMES = ["Müller", "Größe", "Bäcker", "Jäger", "Schön", "Weiß", "Köhler", "Fußmann"]
GERMAN_CITIES = ["München", "Köln", "Nürnberg", "Düsseldorf", "Lübeck", "Gießen"]


def account_record(rng: random.Random, fields: list[Field], page: str, german: bool = False) -> bytes:
    out = bytearray()
    for f in fields:
        if f.children:
            for _ in range(f.occurs):
                out += cobdata.packed(cobdata.random_number(rng, 9, 2, True), 9, 2, True)
                out += cobdata.text(rng.choice(["AB", "CD", "XY", "  "]), 2, page)
            continue
        if f.name == "ACCT-ID":
            out += cobdata.zoned(rng.randrange(10 ** 8), 8, 0, False, page=page)
        elif f.name == "ACCT-NAME":
            out += cobdata.text(rng.choice(GERMAN_NAMES if german else NAMES) + " "
                                + rng.choice(NAMES).title(), 20, page)
        elif f.name == "ACCT-CITY":
            out += cobdata.text(rng.choice(GERMAN_CITIES if german else CITIES), 15, page)
        elif f.name == "ACCT-NOTE":
            out += cobdata.text(cobdata.random_text(rng, rng.randrange(5, 30)), 30, page)
        elif f.name == "ACCT-BAL":
            out += cobdata.packed(cobdata.random_number(rng, 11, 2, True), 11, 2, True)
        elif f.name == "ACCT-COUNT":
            out += cobdata.binary(rng.randrange(-9999, 10000), 4, 0, True)
        elif f.name == "ACCT-RATE":
            out += cobdata.zoned(cobdata.random_number(rng, 7, 4, True), 7, 4, True, page=page)
        elif f.name == "ACCT-DATE":
            date = rng.randrange(1950, 2031) * 10000 + rng.randrange(1, 13) * 100 + rng.randrange(1, 29)
            out += cobdata.zoned(date, 8, 0, False, page=page)
        elif f.name == "ACCT-FLAGS":
            out += cobdata.text(rng.choice(["Y", "N", "YN", "NNY"]), 4, page)
    return bytes(out)


def typed_copybook() -> str:
    """Two records of one length that a type field at offset 0 tells apart."""
    return (
        "       01  HDR-REC.\n"
        "           05  H-TYPE     PIC X(1).\n"
        "           05  H-BATCH    PIC 9(6).\n"
        "           05  H-TEXT     PIC X(20).\n"
        "           05  H-TOTAL    PIC S9(11)V99 COMP-3.\n"
        "       01  DTL-REC.\n"
        "           05  D-TYPE     PIC X(1).\n"
        "           05  D-AMOUNT   PIC S9(9)V99 COMP-3.\n"
        "           05  D-QTY      PIC S9(5) COMP-3.\n"
        "           05  D-ITEM     PIC X(12).\n"
        "           05  D-PRICE    PIC S9(7)V99 COMP-3.\n"
        "           05  D-CODE     PIC X(5).\n"
    )


def typed_record(rng: random.Random, header: bool) -> bytes:
    """A header (34 bytes) or a detail record (32 bytes, padded to 34 as F records are)."""
    if header:
        return (cobdata.text("H", 1) + cobdata.zoned(rng.randrange(10 ** 6), 6, 0, False)
                + cobdata.text(cobdata.random_text(rng, 12), 20)
                + cobdata.packed(cobdata.random_number(rng, 13, 2, True), 13, 2, True))
    return (cobdata.text("D", 1) + cobdata.packed(cobdata.random_number(rng, 11, 2, True), 11, 2, True)
            + cobdata.packed(rng.randrange(-99999, 99999), 5, 0, True)
            + cobdata.text(cobdata.random_text(rng, 10), 12)
            + cobdata.packed(cobdata.random_number(rng, 9, 2, True), 9, 2, True)
            + cobdata.text(rng.choice(["A1", "B22", "C333"]), 5) + cobdata.text("", 2))


@dataclass
class Case:
    name: str
    copybook: str          # file name in the case folder
    data: str              # file name in the case folder
    right: list[str]       # the right options
    folder: Path
    expect_shift: tuple[int, int] | None = None  # offset, bytes
    expect_cut: bool = False
    needs: list[str] = field(default_factory=list)  # decoder options the decode check needs
    oracle: str = "cobdata"


def write_case(root: Path, name: str, copybook_text: str, data: bytes, right: list[str], **kw) -> Case:
    folder = root / name
    folder.mkdir()
    (folder / "rec.cpy").write_text(copybook_text)
    (folder / "data.bin").write_bytes(data)
    needs = [o for o in right if o in ("-rdw", "-rdw-adjust", "-skip-bytes", "-skip-trailer-bytes")]
    return Case(name, "rec.cpy", "data.bin", right, folder, needs=needs, **kw)


def generated_cases(root: Path) -> list[Case]:
    rng = random.Random(31)
    fields = account_fields()
    book = cobdata.copybook("ACCT", fields)
    length = sum(cobdata.field_length(f) * (f.occurs or 1) for f in fields)
    records = [account_record(rng, fields, "IBM037") for _ in range(1500)]
    cases = [
        write_case(root, "f-ibm037", book, b"".join(records), []),
        write_case(root, "v-big", book, cobdata.variable(records), ["-recfm", "V"]),
        write_case(root, "v-little-omits-word", book, cobdata.variable(records, little=True, adjust=0),
                   ["-recfm", "V", "-rdw", "little", "-rdw-adjust", "4"]),
        write_case(root, "v-little", book, cobdata.variable(records, little=True),
                   ["-recfm", "V", "-rdw", "little"]),
        write_case(root, "v-big-omits-word", book, cobdata.variable(records, adjust=0),
                   ["-recfm", "V", "-rdw-adjust", "4"]),
        write_case(root, "vb-big", book, cobdata.variable_blocked(records, 8000), ["-recfm", "VB"]),
        write_case(root, "vb-little", book, cobdata.variable_blocked(records, 8000, little=True),
                   ["-recfm", "VB", "-rdw", "little"]),
        write_case(root, "f-header", book, cobdata.text("HEADER 2026-12-07 ACCOUNTS", 64) + b"".join(records),
                   ["-skip-bytes", "64"]),
        write_case(root, "f-cut-last-record", book, b"".join(records)[:-40], [], expect_cut=True),
        write_case(root, "f-trailer", book, b"".join(records) + cobdata.text("TRAILER RECORDS 0001500", 50),
                   ["-skip-trailer-bytes", "50"]),
    ]
    ascii_records = [account_record(rng, fields, "ASCII") for _ in range(800)]
    cases.append(write_case(root, "f-ascii", book, b"".join(ascii_records), ["-codepage", "ASCII"]))
    cases.append(write_case(root, "l-ascii", book, cobdata.lines(ascii_records),
                            ["-recfm", "L", "-codepage", "ASCII"]))
    german = [account_record(rng, fields, "IBM273", german=True) for _ in range(800)]
    cases.append(write_case(root, "f-ibm273", book, b"".join(german), ["-codepage", "IBM273"]))
    # The data has a 30-byte item the copybook lacks, before ACCT-BAL (offset 43).
    wide = account_fields(with_note=True)
    wide_records = [account_record(rng, wide, "IBM037") for _ in range(1000)]
    cases.append(write_case(root, "f-copybook-lacks-item", book, b"".join(wide_records),
                            ["-lrecl", str(length + 30)], expect_shift=(43, 30)))
    typed = [typed_record(rng, rng.random() < 0.2) for _ in range(1200)]
    cases.append(write_case(root, "f-record-types", typed_copybook(), b"".join(typed),
                            ["-when", "H-TYPE=H:HDR-REC", "-when", "H-TYPE=D:DTL-REC"]))
    return cases


# Golden cases whose data -diagnose cannot judge yet, with why: each is a
# known limit named in the README, not a reading it gets wrong.
NOT_JUDGED = {
    "decode-gzip-v": "compressed data: the sample is read as stored",
    "decode-bdw-extended": "block descriptor words in the extended (bit 31) form are not tried",
    "decode-skip-bytes": "a 10-byte header and a 6-byte trailer around 3 records: too few "
                         "records to tell the header from a record",
    "decode-float-comp1-range": "one record of five COMP-1 items: no text or decimal field to "
                                "judge a reading by",
    "decode-when-segment-lengths": "four records of two segments: too few to find the -when "
                                   "rules by (its framing, word-reversed RDWs, is found)",
}


def golden_cases(root: Path) -> list[Case]:
    """Decode golden cases whose args name a copybook and one data file."""
    cases = []
    for folder in sorted(GOLDEN.glob("decode-*")):
        if folder.name in NOT_JUDGED:
            continue
        args_file = folder / "args"
        if not args_file.exists() or not (folder / "files").is_dir():
            continue
        # A hint says the case's own options do not fit its data (on purpose).
        if (folder / "status").read_text().strip() != "0" or "hint:" in (folder / "stderr").read_text():
            continue
        args = args_file.read_text().splitlines()
        if "-i" not in args or args[-1].startswith("-"):
            continue
        data = args[-1]
        # Readings -diagnose does not try (the README's limits): lengths from a field
        # or from DEPENDING ON counts; header and trailer records it finds as record
        # types of -when instead.
        if {"-length-field", "-variable-occurs", "-header", "-trailer"} & set(args):
            continue
        # Segments, projections and several copybooks choose what is written,
        # not how the file is framed: nothing for -diagnose to find.
        if {"-segment", "-child", "-ids", "-select", "-where"} & set(args) or args.count("-i") > 1:
            continue
        if not (folder / "files" / data).is_file() or "-range" in args or "-splits" in args \
                or "-dbcs" in args or "-lenient" in args or "-float" in args or "-byteorder" in args:
            continue
        right = []
        i = 0
        while i < len(args) - 1:
            if args[i] in FRAMING_OPTIONS:
                right += args[i:i + 2]
                i += 2
            else:
                i += 1
        copybook = args[args.index("-i") + 1]
        cases.append(Case(folder.name, copybook, data, right, folder / "files", oracle="golden"))
    return cases


def option_pairs(options: list[str]) -> dict[str, list[str]]:
    pairs: dict[str, list[str]] = {}
    for i in range(0, len(options) - 1, 2):
        pairs.setdefault(options[i], []).append(options[i + 1])
    return pairs


def family(page: str) -> str:
    return "ascii" if page.upper() in ("ASCII", "UTF-8") else "ebcdic"


def same_options(recommended: list[str], right: list[str]) -> list[str]:
    """What differs between the recommended and the right options, in words."""
    a, b = option_pairs(recommended), option_pairs(right)
    differences = []
    for option in ("-recfm", "-lrecl", "-rdw", "-rdw-adjust", "-skip-bytes", "-skip-trailer-bytes", "-record"):
        value_a = [v.upper() for v in a.get(option, [])] or (["F"] if option == "-recfm" else [])
        value_b = [v.upper() for v in b.get(option, [])] or (["F"] if option == "-recfm" else [])
        if value_a != value_b:
            differences.append(f"{option} {a.get(option)} against {b.get(option)}")
    page_a = a.get("-codepage", ["IBM037"])[0]
    page_b = b.get("-codepage", ["IBM037"])[0]
    if family(page_a) != family(page_b) or (page_b.upper() in ("IBM273", "IBM1141") and page_a != page_b):
        differences.append(f"code page {page_a} against {page_b}")
    # -when: the value -> record mapping; the field may be any at the same place.
    when_a = sorted(w.split("=", 1)[1] for w in a.get("-when", []))
    when_b = sorted(w.split("=", 1)[1] for w in b.get("-when", []))
    if when_a != when_b:
        differences.append(f"-when {when_a} against {when_b}")
    return differences


def warnings_of(folder: Path, copybook: str, data: str, options: list[str]) -> int:
    run = subprocess.run([DECODE, "-i", copybook, *options, "-o", os.devnull, data],
                         cwd=folder, capture_output=True, text=True)
    if run.returncode != 0:
        raise AssertionError(f"{options}: status {run.returncode}: {run.stderr[-400:]}")
    summary = [line for line in run.stderr.splitlines() if "records read" in line]
    return int(summary[-1].split(",")[2].split()[0])


class DiagnoseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        root = Path(cls.tmp.name)
        cls.cases = generated_cases(root) + golden_cases(root)
        cls.out = Path(os.environ["VEXFCBL_TEST_OUT"]) if os.environ.get("VEXFCBL_TEST_OUT") else None
        if cls.out:
            cls.out.mkdir(parents=True, exist_ok=True)
        cls.reports = {}
        for case in cls.cases:
            report = Path(cls.tmp.name) / f"{case.name}.json"
            run = subprocess.run([DECODE, "-diagnose", "-i", case.copybook, case.data,
                                  "-diagnose-json", str(report)],
                                 cwd=case.folder, capture_output=True, text=True)
            if cls.out:
                (cls.out / f"{case.name}.txt").write_text(run.stdout + run.stderr)
            cls.reports[case.name] = (run, json.loads(report.read_text()) if report.exists() else None)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_recommended_options_are_the_right_ones_in_nine_cases_of_ten(self):
        misses = []
        for case in self.cases:
            run, report = self.reports[case.name]
            self.assertIn(run.returncode, (0, 2), f"{case.name}: {run.stderr}")
            best = report["hypotheses"][0]
            differences = same_options(best["options"], case.right)
            if differences:
                misses.append(f"{case.name}: {'; '.join(differences)}")
        share = 1 - len(misses) / len(self.cases)
        print(f"\n{len(self.cases) - len(misses)} of {len(self.cases)} cases recommend the right options",
              file=sys.stderr)
        for miss in misses:
            print("  miss: " + miss, file=sys.stderr)
        self.assertGreaterEqual(share, 0.9, "\n".join(misses))

    def test_recommended_command_decodes_with_no_more_warnings(self):
        for case in self.cases:
            with self.subTest(case=case.name):
                missing = [o for o in case.needs if not decoder_has(o)]
                best = self.reports[case.name][1]["hypotheses"][0]["options"]
                missing += [o for o in best if o in ("-rdw", "-rdw-adjust", "-skip-bytes", "-skip-trailer-bytes")
                            and not decoder_has(o)]
                if missing:
                    self.skipTest(f"the decoder has no {', '.join(sorted(set(missing)))} yet")
                right = warnings_of(case.folder, case.copybook, case.data, case.right)
                recommended = warnings_of(case.folder, case.copybook, case.data, best)
                self.assertLessEqual(recommended, right, f"{case.name}: {best} against {case.right}")

    def test_generated_files_fit_well(self):
        for case in self.cases:
            if case.oracle != "cobdata" or case.expect_shift:
                continue
            with self.subTest(case=case.name):
                run, report = self.reports[case.name]
                self.assertEqual(run.returncode, 0, run.stdout)
                self.assertTrue(report["fits"])
                self.assertIn(shlex.join(["vexfcbl-decode", "-i", case.copybook]), run.stdout)

    def test_missing_item_is_reported_at_its_offset(self):
        case = next(c for c in self.cases if c.expect_shift)
        run, report = self.reports[case.name]
        offset, shift = case.expect_shift
        self.assertEqual(report["shift"]["offset"], offset, run.stdout)
        self.assertEqual(report["shift"]["shift"], shift, run.stdout)
        self.assertIn(f"from byte {offset} on".lower(), run.stdout.lower())
        self.assertIn(f"may lack a {shift}-byte item before ACCT.ACCT-BAL", run.stdout)

    def test_cut_last_record_is_named(self):
        case = next(c for c in self.cases if c.expect_cut)
        run, report = self.reports[case.name]
        self.assertTrue(any("last record is cut short" in n for n in report["notes"]), run.stdout)
        self.assertFalse(any("trailer" in n for n in report["notes"]), run.stdout)
        self.assertEqual(report["hypotheses"][0]["skipTrailerBytes"], 0)

    def test_trailer_is_named(self):
        run, report = self.reports["f-trailer"]
        self.assertTrue(any("a trailer: -skip-trailer-bytes 50" in n for n in report["notes"]), run.stdout)

    def test_runners_up_say_why_they_lose(self):
        run, report = self.reports["v-big"]
        self.assertGreater(len(report["hypotheses"]), 1)
        for h in report["hypotheses"][1:]:
            self.assertTrue(h["loses"], h)
            self.assertLess(h["score"], report["hypotheses"][0]["score"] + 1e-9)


class DiagnoseStatusTest(unittest.TestCase):
    def test_unrelated_bytes_fit_no_reading(self):
        with tempfile.TemporaryDirectory() as tmp:
            folder = Path(tmp)
            (folder / "rec.cpy").write_text(cobdata.copybook("ACCT", account_fields()))
            (folder / "noise.bin").write_bytes(random.Random(7).randbytes(91 * 300))
            run = subprocess.run([DECODE, "-diagnose", "-i", "rec.cpy", "noise.bin"], cwd=folder,
                                 capture_output=True, text=True)
            self.assertEqual(run.returncode, 2, run.stdout + run.stderr)
            self.assertTrue(run.stdout.startswith("No reading fits well"), run.stdout)

    def test_native_binary_past_its_picture_is_valid_and_binary_is_not(self):
        # COMP-5 holds any value of its bytes whatever its picture; COMP and
        # BINARY values past the picture are what a shifted reading shows.
        rng = random.Random(11)
        rows = []
        for _ in range(600):
            a = rng.choice([rng.randint(-32768, 32767), rng.randint(10000, 32767), rng.randint(-32768, -10000)])
            b = rng.randint(10000, 65535)
            rows.append(struct.pack(">hH", a, b) + "ABCD".encode("cp037"))
        with tempfile.TemporaryDirectory() as tmp:
            folder = Path(tmp)
            (folder / "data.bin").write_bytes(b"".join(rows))
            for usage, fits in (("COMP-5", True), ("COMP", False), ("BINARY", False)):
                with self.subTest(usage=usage):
                    (folder / "rec.cpy").write_text(
                        f"       01  R.\n           05  A PIC S9(4) {usage}.\n"
                        f"           05  B PIC 9(4) {usage}.\n           05  C PIC X(4).\n")
                    run = subprocess.run([DECODE, "-diagnose", "-i", "rec.cpy", "data.bin",
                                          "-diagnose-json", "r.json"], cwd=folder, capture_output=True, text=True)
                    report = json.loads((folder / "r.json").read_text())
                    self.assertEqual(report["fits"], fits, run.stdout)
                    self.assertEqual(run.returncode, 0 if fits else 2, run.stdout + run.stderr)
                    self.assertEqual("R.A (" in run.stdout, not fits, run.stdout)

    def test_errors_give_status_one_and_name_the_file(self):
        with tempfile.TemporaryDirectory() as tmp:
            folder = Path(tmp)
            book = cobdata.copybook("ACCT", account_fields())
            (folder / "rec.cpy").write_text(book)
            (folder / "empty.bin").write_bytes(b"")
            (folder / "data.bin").write_bytes(b"\x40" * 91 * 4)
            for args, text in ((["missing.bin"], "missing.bin"),
                               (["empty.bin"], "empty.bin"),
                               (["-sample", "0", "data.bin"], "-sample 0"),
                               (["data.bin", "other.bin"], "exactly one data file"),
                               (["-diagnose-json", "rec.cpy", "data.bin"], "rec.cpy")):
                with self.subTest(args=args):
                    run = subprocess.run([DECODE, "-diagnose", "-i", "rec.cpy", *args], cwd=folder,
                                         capture_output=True, text=True)
                    self.assertEqual(run.returncode, 1, run.stderr)
                    self.assertIn(text, run.stderr)
                    self.assertEqual(run.stdout, "")
            self.assertEqual((folder / "rec.cpy").read_text(), book)
            for option in (["-sample", "2"], ["-diagnose-json", "r.json"], ["-diagnose-html", "r.html"]):
                with self.subTest(without_diagnose=option):
                    run = subprocess.run([DECODE, "-i", "rec.cpy", *option, "data.bin"], cwd=folder,
                                         capture_output=True, text=True)
                    self.assertEqual(run.returncode, 1)
                    self.assertIn("go with -diagnose", run.stderr)
                    self.assertEqual(run.stdout, "")
            self.assertEqual(sorted(p.name for p in folder.iterdir()), ["data.bin", "empty.bin", "rec.cpy"])


if __name__ == "__main__":
    unittest.main()
