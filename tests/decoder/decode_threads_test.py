"""-j 2 writes what -j 1 writes, and both write what the records hold.

About 50 MB of records (F of mixed usages, F of packed decimals, V and VB with
OCCURS DEPENDING ON tables, text lines), each file a few thousand distinct
records from tests/tools/cobdata.py repeated: the threads see many batches,
V/VB records cross their boundaries, and a few records carry bad bytes (a
packed digit out of range, a descriptor word too short to hold a record,
reserved bytes set in a record or block word). Every file is decoded with one
thread and with two; the outputs and the warnings must be equal byte for byte,
and equal again when each is written into a pipe (the large writes then go
to the file descriptor, past stdio, after what stdio holds).
The distinct records of one thread's output are compared with the values
cobdata wrote, and the warned record numbers with those it damaged.

Run by ctest: VEXFCBL_DECODE names the built program; THREADS_TEST_MB (default
50) sets the total size.
"""

import filecmp
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zlib
from decimal import Decimal

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import cobdata  # noqa: E402

DECODER = os.environ["VEXFCBL_DECODE"]
TOTAL_MB = float(os.environ.get("THREADS_TEST_MB", "50"))
DISTINCT = 3000
F = cobdata.Field
ABSENT = object()  # a record that makes no line


def number(rng, picture):
    digits, scale, signed = cobdata.picture_digits(picture)
    n = rng.randint(0, 10 ** digits - 1)
    if signed and rng.random() < 0.5:
        n = -n
    return Decimal(n).scaleb(-scale)


def text_value(rng, length):
    return cobdata.random_text(rng, length, "ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789-.,\"\\/")


class Layout:
    """A record of cobdata Fields: values drawn for each, the record's bytes,
    and the values by path as the decoder nests them."""

    def __init__(self, name, fields, table=None):
        self.name, self.fields, self.table = name, fields, table

    def copybook(self):
        fields = list(self.fields)
        if self.table:
            counter, most, members = self.table
            fields += [F(counter, "9(2)"), F("T", children=members, occurs=most, depending=counter)]
        return cobdata.copybook(self.name, fields)

    def values(self, rng, fields):
        out = []
        for f in fields:
            if f.children:
                out.append((f, [self.values(rng, f.children) for _ in range(f.occurs)]))
            elif "X" in f.picture:
                out.append((f, text_value(rng, cobdata.field_length(f))))
            else:
                out.append((f, number(rng, f.picture)))
        return out

    def encode(self, values):
        data = b""
        for f, value in values:
            if f.children:
                data += b"".join(self.encode(row) for row in value)
            else:
                data += cobdata.encode_value(f, value)
        return data

    def record(self, rng):
        values = self.values(rng, self.fields)
        data = self.encode(values)
        if self.table:
            counter, most, members = self.table
            rows = [self.values(rng, members) for _ in range(rng.randint(0, most))]
            data += cobdata.zoned(len(rows), 2, 0, False)
            data += b"".join(self.encode(row) for row in rows)
            values += [(F(counter, "9(2)"), Decimal(len(rows))), (F("T", children=members), rows)]
        return data, values


def check_values(test, shown, values, where):
    for f, value in values:
        test.assertIn(f.name, shown, where)
        if f.children:
            test.assertEqual(len(shown[f.name]), len(value), f"{where} {f.name}")
            for i, (row_shown, row) in enumerate(zip(shown[f.name], value)):
                check_values(test, row_shown, row, f"{where} {f.name}[{i + 1}]")
        elif isinstance(value, str):
            test.assertEqual(shown[f.name], value.ljust(cobdata.field_length(f)), f"{where} {f.name}")
        else:
            test.assertEqual(Decimal(str(shown[f.name])), value, f"{where} {f.name}")


MIXED = Layout("MIXED", [
    F("M-NAME", "X(12)"), F("M-AMT", "S9(5)V99"), F("M-QTY", "9(4)"),
    F("M-LEAD", "S9(3)V9", sign="LEADING SEPARATE"), F("M-BAL", "S9(9)V99", "COMP-3"),
    F("M-CNT", "9(5)", "COMP-3"), F("M-SHORT", "S9(4)", "COMP"), F("M-LONG", "S9(9)", "BINARY"),
    F("M-CODE", "X(3)"),
    F("M-MONTH", children=[F("M-M-AMT", "S9(3)V9", "COMP-3"), F("M-M-DAYS", "99")], occurs=3)])
PACKED = Layout("PACKED", [F(f"P-{i:02d}", "S9(9)V99", "COMP-3") for i in range(20)])
VAR = Layout("VAR", [F("V-KEY", "X(6)"), F("V-AMT", "S9(7)V99", "COMP-3")],
             table=("V-CNT", 8, [F("V-T-NAME", "X(4)"), F("V-T-AMT", "S9(5)", "COMP-3")]))
TEXT = Layout("TEXTLINE", [F("L-NAME", "X(10)"), F("L-AMT", "9(5)V99"), F("L-CODE", "X(3)")])


def offset_of(layout, name):
    """The field's offset by the storage rules (cobdata's lengths, no SYNC)."""
    at = 0
    for f in layout.fields:
        if f.name == name:
            return at
        at += cobdata.field_length(f) * (f.occurs or 1)
    raise KeyError(name)


def damage_packed(data, at):
    """A packed field's first digit nibble made 0xA: not a digit."""
    return data[:at] + bytes([0xA0 | (data[at] & 0x0F)]) + data[at + 1:]


class ThreadsWriteWhatOneThreadWrites(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="vexdecode-threads-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def decode(self, layout, path, args, jobs, piped=False):
        """The run and its output file; `piped`: the output read from a pipe
        instead, as the run's stdout."""
        cpy = os.path.join(self.folder, layout.name + ".cpy")
        with open(cpy, "w") as f:
            f.write(layout.copybook())
        if piped:
            return subprocess.run([DECODER, "-i", cpy, *args, "-j", str(jobs), path],
                                  capture_output=True, timeout=600), None
        out = f"{path}.{jobs}.jsonl"
        run = subprocess.run([DECODER, "-i", cpy, *args, "-j", str(jobs), "-o", out, path],
                             capture_output=True, timeout=600)
        return run, out

    def check_piped(self, layout, path, args, out_one, stderr_one):
        with open(out_one, "rb") as f:
            expected = f.read()
        for jobs in (1, 2):
            run, _ = self.decode(layout, path, args, jobs, piped=True)
            self.assertEqual(run.returncode, 0)
            self.assertTrue(run.stdout == expected, f"{layout.name} -j {jobs}: piped output differs")
            self.assertEqual(run.stderr, stderr_one)

    def check(self, layout, records, whole, args, damaged):
        """`records`: the distinct records' values (None: damaged, ABSENT: no
        line written);
        `whole`: the file; `damaged`: record numbers (from 1, of the first
        repetition) that must be warned of, with the field named."""
        path = os.path.join(self.folder, self.id().rsplit(".", 1)[-1] + ".dat")
        with open(path, "wb") as f:
            f.write(whole)
        one, out_one = self.decode(layout, path, args, 1)
        two, out_two = self.decode(layout, path, args, 2)
        self.assertEqual(one.returncode, 0, one.stderr.decode(errors="replace")[-2000:])
        self.assertEqual(two.returncode, 0)
        self.assertTrue(filecmp.cmp(out_one, out_two, shallow=False), f"{layout.name}: outputs differ")
        self.assertEqual(two.stderr, one.stderr)
        self.check_piped(layout, path, args, out_one, one.stderr)
        warned = {}
        for line in one.stderr.decode().splitlines():
            found = re.match(r"vexfcbl-decode: .*: record (\d+), byte \d+: (.*)", line)
            if found:
                warned.setdefault(int(found.group(1)), []).append(found.group(2))
        first = {n: w for n, w in warned.items() if n <= len(records)}
        self.assertEqual(sorted(first), sorted(damaged))
        for n, field in damaged.items():
            self.assertTrue(any(field in w for w in first[n]), f"record {n}: {first[n]}")
        summary = [line for line in one.stderr.decode().splitlines() if "records read" in line]
        self.assertEqual(len(summary), 1)
        summary = summary[0]
        with open(out_one, encoding="utf-8") as lines:
            for i, values in enumerate(records):
                if values is ABSENT:
                    continue
                line = lines.readline()
                if values is None:
                    continue
                obj = json.loads(line, parse_float=Decimal, parse_int=Decimal)
                check_values(self, obj[layout.name], values, f"{layout.name} line {i + 1}")
        return summary

    def distinct(self, layout, seed, damage_at=None):
        rng = random.Random(seed)
        records = [layout.record(rng) for _ in range(DISTINCT)]
        datas = [r[0] for r in records]
        values = [r[1] for r in records]
        damaged = {}
        if damage_at is not None:
            for i in range(37, DISTINCT, 401):
                path = damage_at
                datas[i] = damage_packed(datas[i], offset_of(layout, path))
                values[i] = None
                damaged[i + 1] = path
        return datas, values, damaged

    def repeat(self, block, share):
        times = max(2, int(TOTAL_MB * share * 1e6) // len(block))
        return block * times, times

    def test_fixed_mixed_usages(self):
        datas, values, damaged = self.distinct(MIXED, "mixed", "M-BAL")
        length = len(datas[0])
        whole, times = self.repeat(b"".join(datas), 0.3)
        # A record cut short at the end: warned of by both alike.
        whole += datas[0][: length // 2]
        summary = self.check(MIXED, values, whole, ["-recfm", "F"], damaged)
        self.assertIn(f"{DISTINCT * times + 1} records read", summary)

    def test_fixed_packed_decimals(self):
        datas, values, damaged = self.distinct(PACKED, "packed", "P-07")
        whole, times = self.repeat(b"".join(datas), 0.2)
        summary = self.check(PACKED, values, whole, ["-recfm", "F"], damaged)
        self.assertIn(f"{DISTINCT * times} records read, {DISTINCT * times} written", summary)

    def test_fixed_csv_header_first_in_a_pipe(self):
        # The CSV header is held by stdio when the first batch's lines go
        # past it: it must still come first, once.
        datas, values, _ = self.distinct(PACKED, "packed-csv")
        whole, times = self.repeat(b"".join(datas), 0.05)
        path = os.path.join(self.folder, "csv.dat")
        with open(path, "wb") as f:
            f.write(whole)
        for jobs in (1, 2):
            run, _ = self.decode(PACKED, path, ["-format", "csv"], jobs, piped=True)
            self.assertEqual(run.returncode, 0)
            lines = run.stdout.decode().split("\r\n")  # CSV rows end in CR LF
            self.assertEqual(lines[0].split(","), [f"P-{i:02d}" for i in range(20)])
            self.assertEqual(lines[-1], "")
            self.assertEqual(len(lines) - 2, DISTINCT * times)
            for n in (0, DISTINCT - 1, DISTINCT * times - 1):
                row = [Decimal(v) for v in lines[1 + n].split(",")]
                self.assertEqual(row, [v for _, v in values[n % DISTINCT]], f"-j {jobs} row {n + 1}")

    def test_fixed_standard_input(self):
        # -j 2's workers read plain F batches themselves from a regular file
        # (here the standard input); a pipe is read by the reading thread.
        datas, values, damaged = self.distinct(MIXED, "stdin", "M-BAL")
        whole, times = self.repeat(b"".join(datas), 0.05)
        whole += datas[1][:7]  # a record cut short
        path = os.path.join(self.folder, "stdin.dat")
        with open(path, "wb") as f:
            f.write(whole)
        cpy = os.path.join(self.folder, "MIXED.cpy")
        with open(cpy, "w") as f:
            f.write(MIXED.copybook())
        one = subprocess.run([DECODER, "-i", cpy, "-j", "1", path], capture_output=True, timeout=600)
        self.assertEqual(one.returncode, 0)
        lines = one.stdout.splitlines(keepends=True)
        self.assertEqual(len(lines), DISTINCT * times + 1)
        # Every record's line holds the values cobdata wrote (the damaged ones
        # are warned of), the last one's too, padded.
        first = json.loads(lines[0], parse_float=Decimal, parse_int=Decimal)
        check_values(self, first["MIXED"], values[0], "line 1")
        piped = subprocess.run([DECODER, "-i", cpy, "-j", "2"], input=whole,
                               capture_output=True, timeout=600)
        self.assertEqual(piped.returncode, 0)
        self.assertTrue(piped.stdout == one.stdout, "-j 2 from a pipe differs")
        # The warnings and the summary (a hint on a file's size is for files only).
        self.assertEqual([line for line in piped.stderr.splitlines() if b"hint:" not in line],
                         [line.replace(path.encode(), b"-") for line in one.stderr.splitlines()
                          if b"hint:" not in line])
        # A standard input opened on the file and moved into it: read as
        # one thread reads it.
        placed = {}
        for jobs in ("1", "2"):
            with open(path, "rb") as f:
                f.seek((5 * DISTINCT + 3) * len(datas[0]))
                placed[jobs] = subprocess.run([DECODER, "-i", cpy, "-j", jobs], stdin=f,
                                              capture_output=True, timeout=600)
        self.assertEqual(placed["1"].returncode, 0)
        self.assertTrue(placed["2"].stdout == placed["1"].stdout, "-j 2 from an offset differs")
        self.assertEqual(placed["2"].stderr, placed["1"].stderr)

    def test_fixed_file_growing_while_read(self):
        # The workers read up to the file's size; near its end the size is
        # looked at again, so records added meanwhile are read as one
        # thread reads them. The output is held in a pipe not read until
        # the file has grown: the threads cannot reach the first end.
        datas, values, _ = self.distinct(PACKED, "growing")
        block = b"".join(datas)
        path = os.path.join(self.folder, "growing.dat")
        with open(path, "wb") as f:
            f.write(block * 28)
        cpy = os.path.join(self.folder, "PACKED.cpy")
        with open(cpy, "w") as f:
            f.write(PACKED.copybook())
        run = subprocess.Popen([DECODER, "-i", cpy, "-j", "2", path], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, bufsize=0)  # communicate() reads on
        head = run.stdout.read(100)
        with open(path, "ab") as f:
            f.write(block + datas[0][:10])
        out, err = run.communicate(timeout=600)
        self.assertEqual(run.returncode, 0, err)
        lines = (head + out).splitlines()
        self.assertEqual(len(lines), DISTINCT * 29 + 1)
        for n in (0, DISTINCT * 28 + 5, DISTINCT * 29 - 1):
            obj = json.loads(lines[n], parse_float=Decimal, parse_int=Decimal)
            check_values(self, obj["PACKED"], values[n % DISTINCT], f"line {n + 1}")
        # The short record at the end is warned of at its first missing field.
        short_at = len(block) * 29 + offset_of(PACKED, "P-01")
        self.assertIn(f"record {DISTINCT * 29 + 1}, byte {short_at}: PACKED.P-01".encode(), err)
        self.assertIn(f"{DISTINCT * 29 + 1} records read".encode(), err)

    def test_files_in_turn_plain_and_compressed(self):
        # One run over a plain file (the workers read its batches), the same
        # records gzip-compressed (the reading thread reads them) and the
        # plain file again: each file is read its own way, and its records
        # keep their values and their warnings' byte offsets in it.
        datas, values, damaged = self.distinct(MIXED, "turns", "M-BAL")
        length = len(datas[0])
        times = 6
        cut = length - 2  # the last record lacks its last field, M-M-DAYS(3)
        whole = b"".join(datas) * times + datas[2][:cut]
        plain = os.path.join(self.folder, "turns.dat")
        packed = os.path.join(self.folder, "turns.dat.gz")
        with open(plain, "wb") as f:
            f.write(whole)
        with open(packed, "wb") as f:
            f.write(cobdata.compress(whole, "gzip"))
        files = [plain, packed, plain]
        one, out_one = self.decode(MIXED, files[-1], ["-recfm", "F", *files[:-1]], 1)
        two, out_two = self.decode(MIXED, files[-1], ["-recfm", "F", *files[:-1]], 2)
        self.assertEqual(one.returncode, 0, one.stderr.decode(errors="replace")[-2000:])
        self.assertEqual(two.returncode, 0)
        self.assertTrue(filecmp.cmp(out_one, out_two, shallow=False), "outputs differ")
        self.assertEqual(two.stderr, one.stderr)
        per_file = DISTINCT * times + 1
        with open(out_one, encoding="utf-8") as f:
            lines = f.read().splitlines()
        self.assertEqual(len(lines), 3 * per_file)
        for k in range(3):
            for n in (0, DISTINCT + 1, DISTINCT * times - 1):
                if values[n % DISTINCT] is None:
                    continue
                obj = json.loads(lines[k * per_file + n], parse_float=Decimal, parse_int=Decimal)
                check_values(self, obj[MIXED.name], values[n % DISTINCT], f"file {k + 1} line {n + 1}")
        self.assertIn(f"{3 * per_file} records read", one.stderr.decode())
        # Each file's warnings: the damaged packed fields and the missing
        # last field, at their offsets in that file.
        expected = sorted([(r * DISTINCT + n - 1) * length + offset_of(MIXED, "M-BAL")
                           for r in range(times) for n in damaged] + [DISTINCT * times * length + cut])
        for name in (plain, packed):
            found = re.findall(rf"vexfcbl-decode: {re.escape(name)}: record \d+, byte (\d+): (.*)",
                               one.stderr.decode())
            offsets = sorted(int(byte) for byte, _ in found)
            self.assertEqual(offsets, sorted(expected * (2 if name == plain else 1)), name)
            self.assertTrue(all("M-BAL" in what or "M-M-DAYS" in what for _, what in found), found[:3])

    def test_fixed_gzip_cut_short(self):
        # A gzip stream cut inside a member, read straight into the batches at
        # -j 2: the records zlib gives back before the cut are decoded (the
        # last one short and warned of), then the run stops with the reason.
        datas, values, _ = self.distinct(PACKED, "cut")
        length = len(datas[0])
        packed = cobdata.compress(b"".join(datas) * 3, "gzip")
        cut = packed[: len(packed) * 2 // 3]
        held = zlib.decompressobj(wbits=31).decompress(cut)
        self.assertNotEqual(len(held) % length, 0, "choose another cut: no record cut short")
        records = (len(held) + length - 1) // length
        path = os.path.join(self.folder, "cut.dat.gz")
        with open(path, "wb") as f:
            f.write(cut)
        cpy = os.path.join(self.folder, "PACKED.cpy")
        with open(cpy, "w") as f:
            f.write(PACKED.copybook())
        runs = {}
        for jobs in (1, 2):
            run = subprocess.run([DECODER, "-i", cpy, "-j", str(jobs), path],
                                 capture_output=True, timeout=600)
            runs[jobs] = run
            self.assertEqual(run.returncode, 1, f"-j {jobs}")
            lines = run.stdout.splitlines()
            self.assertEqual(len(lines), records, f"-j {jobs}")
            for n in (0, records - 2):
                obj = json.loads(lines[n], parse_float=Decimal, parse_int=Decimal)
                check_values(self, obj["PACKED"], values[n % DISTINCT], f"-j {jobs} line {n + 1}")
            err = run.stderr.decode()
            self.assertIn(f"cannot read {path}: the gzip data ends inside a member", err)
            self.assertIn(f"{records} records read, {records} written, 1 with warnings", err)
        self.assertTrue(runs[2].stdout == runs[1].stdout)
        self.assertEqual(runs[2].stderr, runs[1].stderr)

    def test_fixed_file_of_unknown_size(self):
        # Files of /proc say their size is 0 and still hold bytes: they are
        # read until a read finds nothing, with one thread or two.
        path = "/proc/version"
        if not os.path.isfile(path) or os.stat(path).st_size != 0:
            self.skipTest("no /proc/version of size 0")
        with open(path, "rb") as f:
            held = f.read()
        if len(held) < 16:
            self.skipTest("/proc/version too short")
        cpy = os.path.join(self.folder, "PROCTEXT.cpy")
        with open(cpy, "w") as f:
            f.write(cobdata.copybook("PROCTEXT", [F("P-TEXT", "X(16)")]))
        for jobs in (1, 2):
            run = subprocess.run([DECODER, "-i", cpy, "-recfm", "F", "-codepage", "ASCII",
                                  "-j", str(jobs), path], capture_output=True, timeout=600)
            self.assertEqual(run.returncode, 0, run.stderr)
            lines = run.stdout.decode("utf-8").splitlines()
            self.assertEqual(len(lines), (len(held) + 15) // 16, f"-j {jobs}")
            self.assertEqual(json.loads(lines[0])["PROCTEXT"]["P-TEXT"], held[:16].decode("ascii"))
            self.assertIn(f"{(len(held) + 15) // 16} records read".encode(), run.stderr)

    def variable_records(self):
        datas, values, damaged = self.distinct(VAR, "var", "V-AMT")
        return datas, values, damaged

    def test_variable(self):
        datas, values, damaged = self.variable_records()
        framed = [cobdata.variable([d]) for d in datas]
        # A word too short to frame a record is a record of its own, warned
        # of and not written; reserved bytes set are warned of on a record
        # that is still decoded.
        stray = 1500
        framed.insert(stray, b"\x00\x02\x00\x00")
        values.insert(stray, ABSENT)
        damaged = {n + (n > stray): p for n, p in damaged.items()}
        damaged[stray + 1] = "invalid record descriptor word"
        bent = 2222
        framed[bent] = framed[bent][:3] + b"\x01" + framed[bent][4:]
        damaged[bent + 1] = "reserved bytes are not zero"
        whole, times = self.repeat(b"".join(framed), 0.2)
        summary = self.check(VAR, values, whole, ["-recfm", "V"], damaged)
        self.assertIn(f"{(DISTINCT + 1) * times} records read, {DISTINCT * times} written", summary)

    def test_variable_blocked(self):
        datas, values, damaged = self.variable_records()
        blocked = cobdata.variable_blocked(datas, block_size=4000)
        # The second block's word gets reserved bytes: warned of with the
        # block's first record.
        second = int.from_bytes(blocked[0:2], "big")
        blocked = blocked[: second + 3] + b"\x07" + blocked[second + 4:]
        at = 4
        count = 0
        while at < second:
            at += int.from_bytes(blocked[at:at + 2], "big")
            count += 1
        first_in_second = count + 1
        self.assertNotIn(first_in_second, damaged)
        damaged[first_in_second] = "block descriptor word's reserved bytes"
        whole, times = self.repeat(blocked, 0.2)
        summary = self.check(VAR, values, whole, ["-recfm", "VB"], damaged)
        self.assertIn(f"{DISTINCT * times} records read, {DISTINCT * times} written", summary)

    def test_lines(self):
        rng = random.Random("lines")
        records = [TEXT.record(rng) for _ in range(DISTINCT)]
        # Text as lines of varying length: trailing blanks cut, some CR LF.
        lines = []
        for i, (data, _) in enumerate(records):
            text = data.decode("cp037").rstrip(" ").encode("ascii")
            lines.append(text + (b"\r\n" if i % 5 == 0 else b"\n"))
        whole, times = self.repeat(b"".join(lines), 0.1)
        summary = self.check(TEXT, [v for _, v in records], whole,
                             ["-recfm", "L", "-codepage", "ASCII"], {})
        self.assertIn(f"{DISTINCT * times} records read", summary)


if __name__ == "__main__":
    unittest.main()
