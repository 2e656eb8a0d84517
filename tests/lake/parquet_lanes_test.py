"""Parquet's direct records written by column: the decoder writes each value at the end of its
column's lane in the batch, and the column thread takes each lane's values of many records as
one piece, up to each check of the page and row group sizes. A record whose value is bad is
taken back from every lane it had written to and goes as values (its field null), so the lanes
of a batch hold runs of records with such records between them; a run may be cut at a size
check anywhere, texts walked to the row by their lengths. DuckDB reads every row back against
the values this test encoded: a lane read from the wrong place shows as values shifted to other
rows, or a chunk whose value count disagrees with its levels.

Run by ctest: VEXFCBL_DECODE names the decoder, VEX_SOURCE_DIR the source tree.
"""

import os
import random
import shutil
import subprocess
import tempfile
import unittest
from decimal import Decimal

from lake_formats_test import DECODER, HAVE_NODE, NO_NODE, cobdata, read_parquet
from cobdata import Field

LAYOUT = [
    Field("L-NAME", "X(14)"),
    Field("L-FLAG", "X"),
    Field("L-INT", "S9(9)", "COMP"),
    Field("L-HALF", "9(4)", "COMP"),
    Field("L-BIG", "S9(15)", "COMP-3"),
    # Three entries a row: its levels are added a run of records at a time.
    Field("L-RUN", "S9(7)", "COMP-3", occurs=3),
    Field("L-TAIL", "S9(5)V99"),
]
RECORDS = 100000
# 48-byte records: a batch of 128 KiB of input holds about 2730 of them.
BATCH = (128 << 10) // 48
# L-NAME's plain values pass 1 MiB: pages are cut in the middle of runs.
assert RECORDS * 18 > 1 << 20


def bad_records():
    """Record number -> the field its bad bytes are in: the last field (every lane before it
    written, then taken back), the middle one, a list's last entry; alone, in runs, and at and
    around where batches begin."""
    bad = {}
    kinds = ("L-TAIL", "L-BIG", "L-RUN")
    for n, i in enumerate(list(range(5003, RECORDS, 613)) + [2000, 2001, 2002, 2003]):
        bad[i] = kinds[n % 3]
    for k in range(2, RECORDS // BATCH):
        for i in (k * BATCH - 1, k * BATCH, k * BATCH + 1):
            bad[i] = kinds[i % 3]
    return bad


class ParquetLanes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        rng = random.Random(4099)
        names = ["A", "ALICE", "BOB", "CAROL \"C\"", "\u00c9MILE", "ZOE  Z", ""]
        bad = bad_records()
        cls.values, records = [], []
        for i in range(RECORDS):
            value = {
                "L-NAME": rng.choice(names) + "x" * rng.randint(0, 3),
                "L-FLAG": rng.choice("YN "),
                "L-INT": rng.randint(-999999999, 999999999),
                "L-HALF": rng.randint(0, 9999),
                "L-BIG": rng.randint(-10 ** 15 + 1, 10 ** 15 - 1),
                "L-RUN": [rng.randint(-9999999, 9999999) for _ in range(3)],
                "L-TAIL": Decimal(rng.randint(-9999999, 9999999)).scaleb(-2),
            }
            data = bytearray()
            for f in LAYOUT:
                if f.occurs:
                    data += b"".join(cobdata.encode_value(f, v) for v in value[f.name])
                else:
                    data += cobdata.encode_value(f, value[f.name])
            kind = bad.get(i)
            # A packed digit nibble of A, a zoned byte without its zone: the field is null.
            if kind == "L-TAIL":
                data[-3] = 0x41
                value["L-TAIL"] = None
            elif kind == "L-BIG":
                data[21] = 0xA1
                value["L-BIG"] = None
            elif kind == "L-RUN":
                data[37] = 0xA1
                value["L-RUN"][2] = None
            cls.values.append(value)
            records.append(bytes(data))
        assert len(records[0]) == 48
        with open(os.path.join(cls.work, "l.cpy"), "w") as f:
            f.write(cobdata.copybook("REC", LAYOUT))
        with open(os.path.join(cls.work, "l.dat"), "wb") as f:
            f.write(b"".join(records))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def check(self, *args):
        what = " ".join(args) or "default"
        path = os.path.join(self.work, "l.parquet")
        done = subprocess.run([DECODER, "-q", "-i", "l.cpy", "-format", "parquet", *args, "-o",
                               path, "l.dat"], cwd=self.work, capture_output=True)
        self.assertEqual(0, done.returncode, done.stderr)
        trim = "-trim" in args
        rows = read_parquet("duckdb", path)["rows"]
        self.assertEqual(RECORDS, len(rows), what)
        for i, (value, row) in enumerate(zip(self.values, rows)):
            name = value["L-NAME"].rstrip(" ") if trim else value["L-NAME"].ljust(14)
            flag = value["L-FLAG"].rstrip(" ") if trim else value["L-FLAG"]
            want = [name, flag, value["L-INT"], value["L-HALF"], value["L-BIG"], value["L-RUN"],
                    value["L-TAIL"]]
            got = [row["L-NAME"], row["L-FLAG"], int(row["L-INT"]), int(row["L-HALF"]),
                   None if row["L-BIG"] is None else int(row["L-BIG"]),
                   [None if v is None else int(v) for v in row["L-RUN"]],
                   None if row["L-TAIL"] is None else Decimal(row["L-TAIL"])]
            self.assertEqual(want, got, f"{what}: record {i + 1}")

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_runs_between_bad_records_over_pages(self):
        self.check()
        self.check("-trim", "-codec", "none")

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_runs_cut_by_row_groups_and_threads(self):
        # Row groups of 1 MiB end inside batches; with -j the batches come from several
        # decoders, each with lanes of its own.
        self.check("-row-group-mb", "1")
        self.check("-row-group-mb", "1", "-trim", "-j", "2")
        self.check("-j", "3", "-codec", "zstd")


if __name__ == "__main__":
    unittest.main()
