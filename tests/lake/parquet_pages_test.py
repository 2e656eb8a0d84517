"""Parquet column chunks of many pages, in one row group and in several: pages are packed on a
second thread and taken back in the order they were cut, and each page's least and greatest
value are found where it is packed and widen its chunk's. The file is written with snappy, zstd
and no compression; DuckDB reads every row back (a page out of order or lost shows as rows
out of order or missing) and each row group's statistics, which this test computes from the
values it encoded over the rows of each group: text in UTF-8 byte order (values that share
their first 8 bytes or more, and non-ASCII letters that sort after ASCII ones), 64- and 32-bit
integers and a 20-digit decimal (a fixed-length byte array, signed) with their extremes
planted in the first, a middle and the last pages, and nulls from bad packed values.

Run by ctest: VEXFCBL_DECODE names the decoder, VEX_SOURCE_DIR the source tree.
"""

import os
import random
import shutil
import subprocess
import tempfile
import unittest
from decimal import Decimal

from lake_formats_test import DECODER, HAVE_NODE, NO_NODE, cobdata, parquet_statistics, read_parquet
from cobdata import Field

def fields(wide_digits):
    return [
        Field("T-KEY", "X(24)"),
        Field("T-BIG", "S9(18)", "COMP"),
        Field("T-SMALL", "S9(9)", "COMP"),
        Field("T-WIDE", f"S9({wide_digits})", "COMP-3"),
        # Three entries a row: the lists' levels run over several pages too.
        Field("T-RUN", "S9(4)", "COMP", occurs=3),
    ]


RECORDS = 150000
# Bytes of KEY's plain values (a 4-byte length and up to 24 bytes each, 2 bytes for an
# accented letter): several pages of 1 MiB in one row group.
assert RECORDS * 28 > 3 * (1 << 20)


def key_of(rng, i):
    # A shared prefix of 12 bytes: most comparisons are decided after the first 8.
    tail = "".join(rng.choice("ABCXYZ019 \u00e9") for _ in range(rng.randint(0, 10)))
    return ("SAME-PREFIX-" + tail).ljust(24)


class ParquetPages(unittest.TestCase):
    """T-WIDE of 20 digits: a fixed-length byte array, its records written by the walk's plans."""
    WIDE_DIGITS = 20

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        digits = cls.WIDE_DIGITS
        layout = fields(digits)
        # A digit nibble of A: null.
        bad_wide = b"\x12\x3A" + b"\x00" * (digits // 2 - 2) + b"\x0C"
        rng = random.Random(2033)
        cls.values, records = [], []
        for i in range(RECORDS):
            value = {
                "T-KEY": key_of(rng, i),
                "T-BIG": rng.randint(-10 ** 17, 10 ** 17),
                "T-SMALL": rng.randint(-10 ** 8, 10 ** 8),
                "T-WIDE": rng.randint(-10 ** (digits - 2), 10 ** (digits - 2)),
                "T-RUN": [rng.randint(-9999, 9999) for _ in range(3)],
            }
            cls.values.append(value)
        # Extremes in the first page, a middle one and the last.
        planted = {
            5: {"T-KEY": "SAME-PREFIX-" + "\u00e9" * 10 + "  ",
                "T-SMALL": -999999999},
            RECORDS // 2: {"T-BIG": 999999999999999999, "T-WIDE": -(10 ** digits - 1)},
            RECORDS // 2 + 1: {"T-KEY": "SAME-PRE".ljust(24), "T-BIG": -999999999999999999},
            RECORDS - 3: {"T-SMALL": 999999999, "T-WIDE": 10 ** digits - 1},
        }
        for i, change in planted.items():
            cls.values[i].update(change)
        for i, value in enumerate(cls.values):
            data = b"".join(cobdata.encode_value(f, value[f.name]) for f in layout[:3])
            # The first null after the first batches: with 15 digits, where records come
            # straight from their bytes, its record goes by the plans between them.
            if i % 1009 == 17 and i > 10000 and i not in planted:
                value["T-WIDE"] = None
                data += bad_wide
            else:
                data += cobdata.encode_value(layout[3], value["T-WIDE"])
            data += b"".join(cobdata.encode_value(layout[4], v) for v in value["T-RUN"])
            records.append(data)
        assert len(records[0]) == sum(cobdata.field_length(f) * (f.occurs or 1) for f in layout)
        with open(os.path.join(cls.work, "p.cpy"), "w") as f:
            f.write(cobdata.copybook("REC", layout))
        with open(os.path.join(cls.work, "p.dat"), "wb") as f:
            f.write(b"".join(records))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def decode(self, name, *args):
        done = subprocess.run([DECODER, "-i", "p.cpy", "-format", "parquet", *args, "-o", name,
                               "p.dat"], cwd=self.work, capture_output=True)
        self.assertEqual(0, done.returncode, done.stderr)
        return os.path.join(self.work, name)

    def check_rows(self, path, what):
        rows = read_parquet("duckdb", path)["rows"]
        self.assertEqual(RECORDS, len(rows), what)
        for i, (value, row) in enumerate(zip(self.values, rows)):
            got = {"T-KEY": row["T-KEY"], "T-BIG": int(row["T-BIG"]), "T-SMALL": int(row["T-SMALL"]),
                   "T-WIDE": None if row["T-WIDE"] is None else Decimal(row["T-WIDE"]),
                   "T-RUN": [int(v) for v in row["T-RUN"]]}
            want = dict(value)
            want["T-WIDE"] = None if value["T-WIDE"] is None else Decimal(value["T-WIDE"])
            self.assertEqual(want, got, f"{what}: record {i + 1}")

    def check_statistics(self, path, what):
        """Statistics of each row group against the values of its rows; the row groups."""
        stats = parquet_statistics(path)
        # Ids as numbers: as text, group 10 would come before group 2.
        groups = sorted({int(s["row_group_id"]) for s in stats})
        first = 0
        for group in groups:
            chunks = {s["path_in_schema"]: s for s in stats if int(s["row_group_id"]) == group}
            count = int(chunks["T-KEY"]["row_group_num_rows"])
            rows = self.values[first:first + count]
            first += count
            keys = [r["T-KEY"].encode("utf-8") for r in rows]
            self.assertEqual(min(keys).decode(), chunks["T-KEY"]["stats_min_value"], what)
            self.assertEqual(max(keys).decode(), chunks["T-KEY"]["stats_max_value"], what)
            for column in ("T-BIG", "T-SMALL", "T-WIDE"):
                present = [r[column] for r in rows if r[column] is not None]
                self.assertEqual(min(present), Decimal(chunks[column]["stats_min_value"]),
                                 f"{what}: {column}, row group {group}")
                self.assertEqual(max(present), Decimal(chunks[column]["stats_max_value"]),
                                 f"{what}: {column}, row group {group}")
                self.assertEqual(len(rows) - len(present), int(chunks[column]["stats_null_count"]),
                                 f"{what}: {column}, row group {group}")
        self.assertEqual(RECORDS, first, what)
        return len(groups)

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_pages_of_each_codec_in_order_with_their_statistics(self):
        for codec in ("snappy", "zstd", "none"):
            path = self.decode(codec + ".parquet", "-codec", codec)
            self.check_rows(path, codec)
            self.assertEqual(1, self.check_statistics(path, codec), codec)

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_row_groups_of_a_few_pages(self):
        # 1 MiB row groups: each ends while pages of it may still be packing.
        for args in (["-row-group-mb", "1"], ["-row-group-mb", "1", "-j", "2"],
                     ["-row-group-mb", "2", "-codec", "zstd"]):
            path = self.decode("groups.parquet", *args)
            self.check_rows(path, " ".join(args))
            self.assertGreater(self.check_statistics(path, " ".join(args)), 2, " ".join(args))


class ParquetPagesDirect(ParquetPages):
    """T-WIDE of 15 digits: a 64-bit integer, and the records (but those with a null) written
    straight from their bytes, each column's levels added in bulk."""
    WIDE_DIGITS = 15


if __name__ == "__main__":
    unittest.main()
