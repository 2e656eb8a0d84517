"""The record map page (vexfcbl -layout FILE.html, vexfcbl-decode -diagnose-html) in a browser.

Debian's chromium loads each page headless (--dump-dom runs its script); the
DOM must hold every item of the layout with its offset and length as the
golden layout case's reviewed JSON gives them, nothing fetched from the
network, and the readings switch. Screenshots are kept in VEXFCBL_TEST_OUT for
a person to look at. Skipped, with a message, without chromium.

Environment: VEXFCBL, VEXFCBL_DECODE, the programs; VEXFCBL_TEST_OUT, the folder
for the pages and screenshots.
"""

from __future__ import annotations

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from html.parser import HTMLParser
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tools"))
import cobdata  # noqa: E402
from cobdata import Field  # noqa: E402

VEXFCBL = os.environ.get("VEXFCBL", "vexfcbl")
DECODE = os.environ.get("VEXFCBL_DECODE", "vexfcbl-decode")
GOLDEN = HERE.parent / "golden"
OUT = Path(os.environ.get("VEXFCBL_TEST_OUT", tempfile.gettempdir())) / "record-map"
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")


class Elements(HTMLParser):
    """Every element with its attributes and whether it is a network fetch."""

    def __init__(self):
        super().__init__()
        self.elements: list[tuple[str, dict[str, str]]] = []

    def handle_starttag(self, tag, attrs):
        self.elements.append((tag, {k: v or "" for k, v in attrs}))

    def with_class(self, name: str) -> list[dict[str, str]]:
        return [a for _, a in self.elements if name in a.get("class", "").split()]


def browser_dom(page: Path, screenshot: Path) -> Elements:
    common = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
              "--disable-extensions", f"--user-data-dir={page.parent / 'profile'}"]
    dom = subprocess.run(common + ["--dump-dom", page.as_uri()], capture_output=True, text=True, timeout=120)
    if dom.returncode != 0:
        raise AssertionError(f"chromium failed: {dom.stderr[-500:]}")
    subprocess.run(common + ["--window-size=1400,1000", f"--screenshot={screenshot}", page.as_uri()],
                   capture_output=True, timeout=120)
    parser = Elements()
    parser.feed(dom.stdout)
    return parser


@unittest.skipUnless(CHROMIUM, "chromium is not installed (tools/deps.sh installs it): the record map "
                               "page is not tested in a browser")
class RecordMapInBrowserTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        OUT.mkdir(parents=True, exist_ok=True)
        cls.tmp = tempfile.TemporaryDirectory()
        cls.root = Path(cls.tmp.name)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def assert_items(self, dom: Elements, expected: list[dict]):
        bars = {a["data-path"]: a for a in dom.with_class("item") if "data-path" in a}
        rows = {a["data-path"]: a for a in dom.with_class("field")}
        for item in expected:
            with self.subTest(path=item["path"]):
                self.assertIn(item["path"], bars)
                self.assertEqual(int(bars[item["path"]]["data-offset"]), item["offset"])
                self.assertEqual(int(bars[item["path"]]["data-length"]), item["length"])
                self.assertEqual(int(rows[item["path"]]["data-offset"]), item["offset"])
                self.assertIn(f"offset {item['offset']}, length {item['length']}",
                              bars[item["path"]]["data-tip"])
        self.assertEqual(len(bars), len(expected))

    def assert_self_contained(self, dom: Elements):
        for tag, attrs in dom.elements:
            self.assertFalse(tag == "script" and "src" in attrs, attrs)
            self.assertFalse(tag == "link", attrs)
            self.assertFalse(tag == "img" and not attrs.get("src", "").startswith("data:"), attrs)

    def test_layout_page_of_a_golden_case_holds_every_item(self):
        case = GOLDEN / "layout-chained-redefines-json"
        work = self.root / "layout"
        shutil.copytree(case / "files", work)
        run = subprocess.run([VEXFCBL, "-i", "CHAIN.cpy", "-layout", "chain.html"], cwd=work,
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        expected = [i for r in json.loads((case / "out" / "chain.json").read_text())["records"]
                    for i in r["items"]]
        shutil.copy(work / "chain.html", OUT / "layout-chained-redefines.html")
        dom = browser_dom(work / "chain.html", OUT / "layout-chained-redefines.png")
        self.assert_items(dom, expected)
        self.assert_self_contained(dom)
        self.assertEqual(dom.with_class("reading"), [])

    def test_diagnose_page_shows_readings_records_and_invalid_values(self):
        case = GOLDEN / "decode-chained-redefines"
        work = self.root / "diagnose"
        shutil.copytree(case / "files", work)
        run = subprocess.run([DECODE, "-diagnose", "-i", "CHAIN.cpy", "chain.ebc", "-diagnose-html", "map.html",
                              "-diagnose-json", "report.json"], cwd=work, capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        report = json.loads((work / "report.json").read_text())
        shutil.copy(work / "map.html", OUT / "diagnose-chained-redefines.html")
        dom = browser_dom(work / "map.html", OUT / "diagnose-chained-redefines.png")
        expected = [i for r in json.loads((GOLDEN / "layout-chained-redefines-json" / "out" / "chain.json")
                                          .read_text())["records"] for i in r["items"]]
        self.assert_items(dom, expected)
        self.assert_self_contained(dom)
        readings = dom.with_class("reading")
        self.assertEqual(len(readings), len(report["hypotheses"]))
        options = [a for tag, a in dom.elements if tag == "option"]
        self.assertEqual(len(options), len(report["hypotheses"]))
        # The file's two 26-byte records under the best reading: hex of both, no value marked invalid.
        data = (work / "chain.ebc").read_bytes()
        text = (work / "map.html").read_text()
        best = text[text.index('id="reading0"'):text.index('id="reading1"')]
        self.assertIn(data[:26].hex().upper(), best)
        self.assertIn(data[26:52].hex().upper(), best)
        self.assertNotIn("val bad", best)
        # A losing reading (13-byte records) marks the values it cannot read.
        self.assertIn("val bad", text[text.index('id="reading1"'):])

    def test_two_thousand_byte_record_with_five_hundred_fields(self):
        fields = [Field(f"F{n:03d}", *(("X(4)", "") if n % 3 == 0 else ("S9(7)", "COMP-3") if n % 3 == 1
                                       else ("9(4)", ""))) for n in range(500)]
        lengths = [cobdata.field_length(f) for f in fields]
        work = self.root / "wide"
        work.mkdir()
        (work / "wide.cpy").write_text(cobdata.copybook("WIDE", fields))
        records = []
        for r in range(50):
            out = b""
            for n, f in enumerate(fields):
                out += (cobdata.text(f"T{r % 10}", 4) if n % 3 == 0 else
                        cobdata.packed(r * n, 7, 0, True) if n % 3 == 1 else cobdata.zoned(n, 4, 0, False))
            records.append(out)
        (work / "wide.bin").write_bytes(b"".join(records))
        run = subprocess.run([DECODE, "-diagnose", "-i", "wide.cpy", "wide.bin", "-diagnose-html", "wide.html"],
                             cwd=work, capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        shutil.copy(work / "wide.html", OUT / "wide-500-fields.html")
        dom = browser_dom(work / "wide.html", OUT / "wide-500-fields.png")
        offset = 0
        expected = [{"path": "WIDE", "offset": 0, "length": sum(lengths)}]
        for f, length in zip(fields, lengths):
            expected.append({"path": f"WIDE.{f.name}", "offset": offset, "length": length})
            offset += length
        self.assertEqual(sum(lengths), 1667 + 333, "the record is 2,000 bytes")
        self.assert_items(dom, expected)
        self.assertTrue((OUT / "wide-500-fields.png").exists())


class RecordMapWithoutBrowserTest(unittest.TestCase):
    def test_other_layout_extensions_keep_their_output(self):
        case = GOLDEN / "layout-storage-json"
        with tempfile.TemporaryDirectory() as tmp:
            work = Path(tmp) / "case"
            shutil.copytree(case / "files", work)
            for name in ("storage.json", "storage.txt", "storage.htm"):
                run = subprocess.run([VEXFCBL, "-i", "STORAGE.cpy", "-layout", name], cwd=work,
                                     capture_output=True, text=True)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertFalse((work / name).read_text().lstrip().startswith("<!DOCTYPE"), name)
            self.assertEqual((work / "storage.json").read_text(), (case / "out" / "storage.json").read_text())


if __name__ == "__main__":
    unittest.main()
