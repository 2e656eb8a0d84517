"""Avro files are written, and Parquet's columns built, by a thread apart from the decoding one.
The Avro C library cuts a block whenever the next datum would not fit in its 1 MiB. These are
checked against models of this test's own, not against the program's output:

- the blocks: every block holds exactly the datums that fit in 1 MiB after those before it,
  encoded by this test's encoder (direct_records_test's), however the records reached the
  writer (one file, many small files each ending a batch early, -j 2's batches);
- a write that fails: on /dev/full the first block's write fails (the library holds the
  header until then), so the run must stop at the end of the batch holding the first record
  that did not fit in that block (batches of 4096 records on one thread, of 128 KiB of input
  with -j 2), with the warnings of the records up to there and of none after, the summary's
  counts of that moment, the device's error, and status 1. A bad record sits in every batch,
  so a writer thread whose failure reached the run late would print warnings past the end.
- Parquet on /dev/full: the output's stream holds 1 MiB, so the write that fails is that of the
  first row group reaching past the file's first MiB; the run must stop at the end of the batch
  holding that group's last row (DuckDB reads the groups' rows and byte ranges from the file
  the same run writes to a disk), with the same warnings, counts and status.

Run by ctest: VEXFCBL_DECODE names the decoder, VEX_SOURCE_DIR the source tree.
"""

import json
import os
import random
import re
import shutil
import stat
import subprocess
import tempfile
import unittest

from direct_records_test import container, encode
from lake_formats_test import DECODER, HAVE_NODE, NO_NODE, cobdata, node_script, read_avro
from cobdata import Field

FIELDS = [
    Field("A-NAME", "X(24)"),
    Field("A-AMOUNT", "S9(9)V99", "COMP-3"),
    Field("A-COUNT", "S9(4)", "COMP"),
    Field("A-RATE", "S9(3)V9(4)"),
    Field("A-TAG", "X(9)"),
]
BLOCK = 1 << 20
BATCH = 4096            # records handed to the writer at once, one thread
BATCH_BYTES = 128 << 10  # input bytes of a -j batch
BAD_AMOUNT = b"\x12\x34\x5A\x78\x9C\x0C"  # a digit nibble of A: a null and a warning


STREAM = 1 << 20  # the output stream's buffer
def row_groups(path):
    """Each row group's rows and the end of its bytes in the file, as DuckDB reads them."""
    script = node_script("row_groups.mjs", """import { DuckDBInstance } from '@duckdb/node-api';
const c = await (await DuckDBInstance.create(':memory:')).connect();
const r = await c.runAndReadAll(`SELECT row_group_id, any_value(row_group_num_rows) AS n_rows,
  max(data_page_offset + total_compressed_size) AS end_at FROM parquet_metadata('${process.argv[2]}')
  GROUP BY row_group_id ORDER BY row_group_id`);
process.stdout.write(JSON.stringify(r.getRowObjectsJson()));
""")
    done = subprocess.run(["node", script, path], capture_output=True, check=True)
    return [(int(g["row_group_id"]), int(g["n_rows"]), int(g["end_at"]))
            for g in json.loads(done.stdout)]


FULL = os.path.exists("/dev/full") and stat.S_ISCHR(os.stat("/dev/full").st_mode)


class WriterThreads(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        rng = random.Random(61)
        with open(os.path.join(cls.work, "a.cpy"), "w") as f:
            f.write(cobdata.copybook("REC", FIELDS))
        cls.length = sum(cobdata.field_length(f) for f in FIELDS)
        cls.values, records = [], []
        for i in range(60000):
            value = {f.name: cls.value_of(rng, f) for f in FIELDS}
            data = b"".join(cobdata.encode_value(f, value[f.name]) for f in FIELDS)
            # One bad amount in every 1000 records: several in each batch.
            if i % 1000 == 517:
                at = cobdata.field_length(FIELDS[0])
                data = data[:at] + BAD_AMOUNT + data[at + len(BAD_AMOUNT):]
                value["A-AMOUNT"] = None
            cls.values.append(value)
            records.append(data)
        assert all(len(r) == cls.length for r in records)
        cls.bad = [i + 1 for i, v in enumerate(cls.values) if v["A-AMOUNT"] is None]
        with open(os.path.join(cls.work, "a.dat"), "wb") as f:
            f.write(b"".join(records))
        # The same records in 40 files of 1500: each file's end hands its records over early.
        cls.parts = []
        for p in range(40):
            name = f"part{p:02}.dat"
            with open(os.path.join(cls.work, name), "wb") as f:
                f.write(b"".join(records[p * 1500:(p + 1) * 1500]))
            cls.parts.append(name)

    @staticmethod
    def value_of(rng, f):
        if "X" in f.picture:
            return cobdata.random_text(rng, cobdata.field_length(f)).ljust(cobdata.field_length(f))
        digits, scale, signed = cobdata.picture_digits(f.picture)
        return cobdata.random_number(rng, digits, scale, signed)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def decode(self, *args, files=("a.dat",)):
        return subprocess.run([DECODER, "-i", "a.cpy", *args, *files], cwd=self.work,
                              capture_output=True)

    def datums(self, path):
        with open(path, "rb") as f:
            meta, _, blocks = container(f.read())
        schema = json.loads(meta["avro.schema"])
        return blocks, [encode(schema, v) for v in self.values]

    def test_blocks_hold_what_fits_in_a_block_however_the_records_came(self):
        runs = {"one file": ([], ("a.dat",)), "-j 2": (["-j", "2"], ("a.dat",)),
                "40 files": ([], self.parts), "40 files, -j 2": (["-j", "2"], self.parts)}
        for name, (args, files) in runs.items():
            with self.subTest(name):
                done = self.decode(*args, "-format", "avro", "-o", "a.avro", files=files)
                self.assertEqual(0, done.returncode, done.stderr)
                blocks, datums = self.datums(os.path.join(self.work, "a.avro"))
                # The library's rule, replayed on this test's datums.
                expected, size, count = [], 0, 0
                for datum in datums:
                    if size + len(datum) > BLOCK:
                        expected.append(count)
                        size = count = 0
                    size += len(datum)
                    count += 1
                expected.append(count)
                self.assertEqual(expected, [count for count, _ in blocks])
                at = 0
                for b, (count, data) in enumerate(blocks):
                    self.assertTrue(b"".join(datums[at:at + count]) == data, f"block {b}")
                    at += count
        # Snappy's blocks (with their CRC-32) read back by Python's Avro library.
        done = self.decode("-format", "avro", "-codec", "snappy", "-j", "2", "-o", "s.avro",
                           files=self.parts)
        self.assertEqual(0, done.returncode, done.stderr)
        _, rows = read_avro(os.path.join(self.work, "s.avro"))
        self.assertEqual(len(self.values), len(rows))
        for i in (0, 1499, 1500, 4095, 4096, 517, 59999):
            self.assertEqual(self.values[i]["A-AMOUNT"], rows[i]["A_AMOUNT"], f"record {i + 1}")
            self.assertEqual(self.values[i]["A-NAME"], rows[i]["A_NAME"], f"record {i + 1}")

    def check_stop(self, done, stopped):
        """The run stopped after record `stopped`: warnings up to it, counts of it."""
        err = done.stderr.decode()
        self.assertEqual(1, done.returncode, err)
        warned = [int(n) for n in re.findall(r"record (\d+), byte", err)]
        self.assertEqual([n for n in self.bad if n <= stopped], warned)
        self.assertIn("vexfcbl-decode: cannot write /dev/full: No space left on device\n", err)
        self.assertTrue(err.endswith(f"vexfcbl-decode: {stopped} records read, {stopped} written, "
                                     f"{len(warned)} with warnings\n"), err)

    @unittest.skipUnless(FULL, "no /dev/full")
    def test_a_failed_avro_write_stops_the_run_at_its_batch(self):
        blocks_path = os.path.join(self.work, "whole.avro")
        self.assertEqual(0, self.decode("-format", "avro", "-o", blocks_path).returncode)
        _, datums = self.datums(blocks_path)
        # The first record that does not fit in the first block: its write fails.
        size, first = 0, None
        for r, datum in enumerate(datums):
            size += len(datum)
            if size > BLOCK:
                first = r + 1
                break
        per_batch = BATCH_BYTES // self.length
        for args, batch in (([], BATCH), (["-j", "2"], per_batch)):
            with self.subTest(" ".join(args) or "one thread"):
                done = self.decode(*args, "-format", "avro", "-o", "/dev/full")
                self.check_stop(done, -(-first // batch) * batch)
        # Snappy's first block is smaller than the library's stream buffer: where it fails is
        # not known here, only that the run stops whole at a batch's end.
        done = self.decode("-format", "avro", "-codec", "snappy", "-o", "/dev/full")
        stopped = int(re.search(r"(\d+) records read", done.stderr.decode()).group(1))
        self.assertEqual(0, stopped % BATCH)
        self.assertLess(first, stopped)
        self.check_stop(done, stopped)


    @unittest.skipUnless(FULL, "no /dev/full")
    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_a_failed_parquet_write_stops_the_run_at_its_batch(self):
        for args in ([], ["-j", "2"]):
            with self.subTest(" ".join(args) or "one thread"):
                path = os.path.join(self.work, "a.parquet")
                done = self.decode(*args, "-format", "parquet", "-row-group-mb", "1", "-o", path)
                self.assertEqual(0, done.returncode, done.stderr)
                rows = 0
                for group, count, end in row_groups(path):
                    rows += count
                    if end > STREAM:
                        break
                self.assertLess(rows, len(self.values))
                batch = BATCH if not args else BATCH_BYTES // self.length
                done = self.decode(*args, "-format", "parquet", "-row-group-mb", "1",
                                   "-o", "/dev/full")
                self.check_stop(done, -(-rows // batch) * batch)


if __name__ == "__main__":
    unittest.main()
