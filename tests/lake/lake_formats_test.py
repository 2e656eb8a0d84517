"""vexfcbl-decode -format avro|parquet and -schema, read back by readers written apart from
this project: Debian's Python Avro library, DuckDB and hyparquet (npm, run with Node.js from
.deps/node, which tools/deps.sh fills; those tests skip without them), and the jsonschema
validator. Expected values are the values tests/tools/cobdata.py encoded, or, for the golden
cases, the decoder's JSON Lines read with exact decimals.

Run by ctest: VEXFCBL_DECODE names the decoder, VEX_SOURCE_DIR the source tree.
"""

import json
import os
import random
import re
import shutil
import sqlite3
import struct
import subprocess
import sys
import tempfile
import unittest
from decimal import Decimal

import avro.datafile
import avro.io
import jsonschema

DECODER = os.environ["VEXFCBL_DECODE"]
SOURCE = os.environ["VEX_SOURCE_DIR"]
sys.path.insert(0, os.path.join(SOURCE, "tests", "tools"))
import cobdata  # noqa: E402
from cobdata import Field  # noqa: E402

NODE_DIR = os.path.join(SOURCE, ".deps", "node")
HAVE_NODE = shutil.which("node") is not None and os.path.isdir(
    os.path.join(NODE_DIR, "node_modules", "@duckdb", "node-api")) and os.path.isdir(
    os.path.join(NODE_DIR, "node_modules", "hyparquet"))
NO_NODE = "the npm Parquet readers are not in .deps/node (tools/deps.sh installs them)"


def run(args, cwd):
    done = subprocess.run([DECODER, "-q", *args], cwd=cwd, capture_output=True)
    if done.returncode != 0:
        raise AssertionError(f"vexfcbl-decode {' '.join(args)}: {done.stderr.decode()}")
    return done.stdout


def json_lines(data):
    return [json.loads(line, parse_float=Decimal) for line in data.decode().splitlines()]


def avro_name(key):
    name = re.sub("[^A-Za-z0-9]", "_", key)
    return "_" + name if not name or name[0].isdigit() else name


def read_avro(path):
    with open(path, "rb") as f:
        reader = avro.datafile.DataFileReader(f, avro.io.DatumReader())
        schema = json.loads(reader.meta["avro.schema"])
        return schema, list(reader)


def node_script(name, text):
    """The Node script `name` holding `text`, in .deps/node (ESM resolves packages from the
    script's own folder). Put in place whole, by rename: other tests, in this run or in
    another checkout sharing the folder, may be running the same script meanwhile, and a
    script rewritten in place is empty to them for a moment."""
    script = os.path.join(NODE_DIR, name)
    try:
        with open(script) as f:
            if f.read() == text:
                return script
    except OSError:
        pass
    fd, temporary = tempfile.mkstemp(dir=NODE_DIR, prefix="." + name)
    with os.fdopen(fd, "w") as f:
        f.write(text)
    os.replace(temporary, script)
    return script


def read_parquet(reader, path):
    with open(os.path.join(SOURCE, "tests", "lake", "read_parquet.mjs")) as f:
        script = node_script("read_parquet.mjs", f.read())
    done = subprocess.run(["node", script, reader, path], capture_output=True)
    if done.returncode != 0:
        raise AssertionError(f"{reader} cannot read {path}: {done.stderr.decode()}")
    return json.loads(done.stdout, parse_float=Decimal)


def parquet_statistics(path):
    """Each column chunk's statistics as DuckDB reads them from the file's footer."""
    script = node_script("parquet_stats.mjs", """import { DuckDBInstance } from '@duckdb/node-api';
const c = await (await DuckDBInstance.create(':memory:')).connect();
const r = await c.runAndReadAll(`SELECT row_group_id, path_in_schema, stats_min_value,
  stats_max_value, stats_null_count, row_group_num_rows FROM parquet_metadata('${process.argv[2]}')`);
process.stdout.write(JSON.stringify(r.getRowObjectsJson()));
""")
    done = subprocess.run(["node", script, path], capture_output=True, check=True)
    return json.loads(done.stdout)


def as_row(line, row, names=lambda k: k):
    """The decoder's line as the lake files hold a row: one record alone is the row; of
    several records (one copybook's or several copybooks'), each is a member of the row,
    null in the rows of the others."""
    if len(line) == 1 and isinstance(row, dict) and names(next(iter(line))) not in row:
        return next(iter(line.values()))
    return line


def compare(test, expected, actual, path, names=lambda k: k, inexact=False):
    """Every value of `expected` (the JSON line, decimals exact) in `actual` as a reader gave
    it: decimals as Decimal, text, int or float; keys missing from the line must be null."""
    if expected is None:
        test.assertIsNone(actual, path)
    elif isinstance(expected, dict):
        test.assertIsInstance(actual, dict, path)
        for key, value in expected.items():
            compare(test, value, actual.get(names(key)), f"{path}.{key}", names, inexact)
        for key in set(actual) - {names(k) for k in expected}:
            test.assertIsNone(actual[key], f"{path}.{key}: absent from the line")
    elif isinstance(expected, list):
        test.assertIsInstance(actual, list, path)
        test.assertEqual(len(expected), len(actual), path)
        for i, (e, a) in enumerate(zip(expected, actual)):
            compare(test, e, a, f"{path}[{i}]", names, inexact)
    elif isinstance(expected, str):
        test.assertEqual(expected, actual, path)
    elif isinstance(expected, float):
        test.assertEqual(expected, float(actual), path)
    elif isinstance(actual, float) or (inexact and not isinstance(actual, str)):
        # Floating-point columns, or hyparquet's decimals as the nearest double.
        actual = float(actual)
        if inexact and len(Decimal(expected).as_tuple().digits) > 15:
            test.assertAlmostEqual(float(expected), actual, delta=abs(float(expected)) * 1e-15,
                                   msg=path)
        else:
            test.assertEqual(float(expected), actual, path)
    else:
        test.assertIsInstance(actual, (Decimal, int, str), path)
        test.assertEqual(Decimal(expected), Decimal(actual), f"{path}: {actual!r}")


def read_text(path):
    with open(path) as f:
        return f.read()


def golden_cases():
    """The golden decode cases that write JSON Lines: (name, folder, arguments)."""
    root = os.path.join(SOURCE, "tests", "golden")
    for name in sorted(os.listdir(root)):
        folder = os.path.join(root, name)
        program = os.path.join(folder, "program")
        if not os.path.isfile(program) or read_text(program).strip() != "vexfcbl-decode":
            continue
        if read_text(os.path.join(folder, "status")).strip() != "0":
            continue
        args = read_text(os.path.join(folder, "args")).splitlines()
        if {"-format", "-raw", "-splits", "--help", "-?", "--version"} & set(args):
            continue
        if "-o" in args:
            at = args.index("-o")
            del args[at:at + 2]
        yield name, folder, args


class GoldenCasesAsLakeFiles(unittest.TestCase):
    """Every golden decode case as Avro (each codec in turn) and Parquet (each codec), value by
    value against its JSON Lines, and its lines valid against its JSON Schema."""

    def setUp(self):
        self.work = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.work)

    def case_dir(self, folder):
        shutil.rmtree(os.path.join(self.work, "case"), ignore_errors=True)
        shutil.copytree(os.path.join(folder, "files"), os.path.join(self.work, "case"))
        return os.path.join(self.work, "case")

    def test_every_case(self):
        cases = list(golden_cases())
        self.assertGreater(len(cases), 20)
        for number, (name, folder, args) in enumerate(cases):
            with self.subTest(case=name):
                cwd = self.case_dir(folder)
                lines = json_lines(run(args, cwd))
                if not lines:
                    continue
                run([*args, "-schema", "s.json"], cwd)
                with open(os.path.join(cwd, "s.json")) as f:
                    schema = json.load(f, parse_float=Decimal)
                validator = jsonschema.Draft202012Validator(schema)
                for line in lines:
                    validator.validate(line)

                codec = ["null", "deflate", "snappy"][number % 3]
                run([*args, "-format", "avro", "-codec", codec, "-o", "o.avro"], cwd)
                _, records = read_avro(os.path.join(cwd, "o.avro"))
                self.assertEqual(len(lines), len(records))
                for i, (line, record) in enumerate(zip(lines, records)):
                    compare(self, as_row(line, record, avro_name), record, f"avro {i}", avro_name)

                if not HAVE_NODE:
                    continue
                codec = ["snappy", "zstd", "none"][number % 3]
                run([*args, "-format", "parquet", "-codec", codec, "-o", "o.parquet"], cwd)
                for reader in ("duckdb", "hyparquet"):
                    rows = read_parquet(reader, os.path.join(cwd, "o.parquet"))["rows"]
                    self.assertEqual(len(lines), len(rows), reader)
                    for i, (line, row) in enumerate(zip(lines, rows)):
                        compare(self, as_row(line, row), row, f"{reader} {i}",
                                inexact=reader == "hyparquet")


# A record with a value of every kind the lake types distinguish, wide decimals included.
FIELDS = [
    Field("KEY-ID", "9(8)"),
    Field("NAME", "X(12)"),
    Field("AMOUNT", "S9(7)V99", "COMP-3"),
    Field("BIG", "S9(31)", "COMP-3"),
    Field("WIDE", "S9(18)V99", "COMP-3"),
    Field("RATE", "S9(3)V9(4)", sign="LEADING SEPARATE"),
    Field("SMALL", "S9(4)", "COMP"),
    Field("TALLY", "9(9)", "COMP"),
    Field("HUGE", "9(18)", "COMP"),
    Field("SINGLE", "", "COMP-1"),
    Field("DOUBLE", "", "COMP-2"),
    Field("N", "9(2)"),
    Field("ORD-LINE", occurs=5, depending="N", children=[
        Field("ITEM", "X(4)"),
        Field("PRICE", "S9(5)V99", "COMP-3"),
    ]),
]

# The column types these pictures take, worked out from the storage rules by hand: a
# decimal's precision is the digits its bytes hold (PIC S9(4) COMP holds -32768..32767).
DUCKDB_TYPES = {
    "KEY-ID": "INTEGER", "NAME": "VARCHAR", "AMOUNT": "DECIMAL(9,2)", "BIG": "DECIMAL(31,0)",
    "WIDE": "DECIMAL(21,2)", "RATE": "DECIMAL(7,4)", "SMALL": "SMALLINT", "TALLY": "BIGINT",
    "HUGE": "DECIMAL(20,0)", "SINGLE": "FLOAT", "DOUBLE": "DOUBLE", "N": "SMALLINT",
    "ORD-LINE": "STRUCT(ITEM VARCHAR, PRICE DECIMAL(7,2))[]",
}


def random_records(count, seed):
    rng = random.Random(seed)
    records, values = [], []
    for _ in range(count):
        n = rng.randint(0, 5)
        value = {
            "KEY-ID": rng.randint(0, 99999999),
            "NAME": cobdata.random_text(rng, 12).rstrip(),
            "AMOUNT": cobdata.random_number(rng, 9, 2, True),
            "BIG": cobdata.random_number(rng, 31, 0, True),
            "WIDE": cobdata.random_number(rng, 20, 2, True),
            "RATE": cobdata.random_number(rng, 7, 4, True),
            "SMALL": rng.randint(-9999, 9999),
            "TALLY": rng.randint(0, 999999999),
            "HUGE": rng.randint(0, 10 ** 18 - 1),
            "SINGLE": struct.unpack(">f", struct.pack(">f", rng.uniform(-1e6, 1e6)))[0],
            "DOUBLE": rng.uniform(-1e12, 1e12),
            "N": n,
            "ORD-LINE": [{"ITEM": cobdata.random_text(rng, 4).rstrip(),
                      "PRICE": cobdata.random_number(rng, 7, 2, True)} for _ in range(n)],
        }
        data = b""
        for f in FIELDS:
            if f.children:
                for line in value["ORD-LINE"]:
                    data += cobdata.encode_value(f.children[0], line["ITEM"])
                    data += cobdata.encode_value(f.children[1], line["PRICE"])
                data += b"\x40" * (cobdata.field_length(f) * (5 - n))
            else:
                data += cobdata.encode_value(f, value[f.name], ieee=True)
        records.append(data)
        values.append(value)
    return records, values


def expected_value(value):
    """A record's values as the decoder shows them (-trim: text without trailing blanks)."""
    return {k: [{"ITEM": e["ITEM"], "PRICE": Decimal(e["PRICE"])} for e in v] if k == "ORD-LINE"
            else v if isinstance(v, (str, float)) else Decimal(v) for k, v in value.items()}


class EncodedRecords(unittest.TestCase):
    """Records encoded by cobdata, read back from Avro and Parquet and compared with the values
    encoded: exact decimals up to 31 digits, floats, ODO arrays; Parquet statistics and row
    groups as DuckDB reads them."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        with open(os.path.join(cls.work, "r.cpy"), "w") as f:
            f.write(cobdata.copybook("REC", FIELDS))
        cls.records, cls.values = random_records(3000, 33)
        with open(os.path.join(cls.work, "r.dat"), "wb") as f:
            f.write(cobdata.variable(cls.records))
        cls.args = ["-i", "r.cpy", "-recfm", "V", "-float", "ieee", "-trim", "r.dat"]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def check_rows(self, rows, inexact=False, names=lambda k: k):
        self.assertEqual(len(self.values), len(rows))
        for i, (value, row) in enumerate(zip(self.values, rows)):
            compare(self, expected_value(value), row, f"record {i + 1}", names, inexact)

    def test_avro_values_and_schema(self):
        run([*self.args, "-format", "avro", "-codec", "deflate", "-o", "r.avro"], self.work)
        schema, records = read_avro(os.path.join(self.work, "r.avro"))
        self.check_rows(records, names=avro_name)
        types = {f["name"]: f["type"] for f in schema["fields"]}
        self.assertEqual(["null", {"type": "bytes", "logicalType": "decimal", "precision": 31,
                                   "scale": 0}], types["BIG"])
        self.assertEqual(["null", "int"], types["SMALL"])
        self.assertEqual(["null", "long"], types["TALLY"])
        self.assertEqual(["null", "float"], types["SINGLE"])

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_parquet_values_types_and_row_groups(self):
        # Rows of up to ~300 bytes of values: 1 MiB row groups make several of 3000 rows? No:
        # the columns hold about 200 bytes a row, so a run of -row-group-mb 1 on 3000 rows makes
        # one group; the records are written six times over to make several.
        with open(os.path.join(self.work, "r6.dat"), "wb") as f:
            f.write(cobdata.variable(self.records * 6))
        args = [a if a != "r.dat" else "r6.dat" for a in self.args]
        run([*args, "-format", "parquet", "-row-group-mb", "1", "-o", "r.parquet"], self.work)
        path = os.path.join(self.work, "r.parquet")
        read = read_parquet("duckdb", path)
        self.assertEqual(DUCKDB_TYPES, {t["column_name"]: t["column_type"] for t in read["types"]})
        rows = read["rows"]
        self.assertEqual(len(self.values) * 6, len(rows))
        self.check_rows(rows[:len(self.values)])
        self.check_rows(rows[-len(self.values):])
        self.check_rows(read_parquet("hyparquet", path)["rows"][:len(self.values)], inexact=True)
        self.check_statistics(path, 6)

    def check_statistics(self, path, times):
        stats = parquet_statistics(path)
        groups = {s["row_group_id"] for s in stats}
        self.assertGreater(len(groups), 1, "-row-group-mb 1 should cut several row groups")
        self.assertEqual(len(self.values) * times,
                         sum(int(s["row_group_num_rows"]) for s in stats if s["path_in_schema"] == "KEY-ID"))
        # Over the whole file, the smallest and largest of each top column are those encoded.
        for column in ("KEY-ID", "AMOUNT", "BIG", "WIDE", "SMALL", "HUGE", "NAME"):
            mins = [s["stats_min_value"] for s in stats if s["path_in_schema"] == column]
            maxs = [s["stats_max_value"] for s in stats if s["path_in_schema"] == column]
            values = [v[column] for v in self.values]
            if column == "NAME":
                self.assertEqual(min(values), min(mins), column)
                self.assertEqual(max(values), max(maxs), column)
            else:
                self.assertEqual(Decimal(min(values)), min(Decimal(m) for m in mins), column)
                self.assertEqual(Decimal(max(values)), max(Decimal(m) for m in maxs), column)
            self.assertTrue(all(int(s["stats_null_count"]) == 0 for s in stats
                                if s["path_in_schema"] == column), column)


class ByteWidthsAndLevelRuns(unittest.TestCase):
    """Decimals on each side of the points where their two's complement takes one byte more
    (127/128, -128/-129, ...), and arrays whose counts repeat and change so that the
    Parquet levels come in runs of several lengths, read back by the Avro library and DuckDB
    against the values cobdata encoded."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        with open(os.path.join(cls.work, "w.cpy"), "w") as f:
            f.write("       01  REC.\n"
                    "           05  AMT   PIC S9(9)V99 COMP-3.\n"
                    "           05  N     PIC 9.\n"
                    "           05  ITEM  PIC S9(3) COMP-3 OCCURS 0 TO 3 DEPENDING ON N.\n")
        edges = [0, -1, 10**11 - 1, -(10**11 - 1)]
        for k in range(1, 5):
            top = 2 ** (8 * k - 1)
            edges += [top - 1, top, -top, -top - 1]
        counts = [0, 0, 0, 3, 3, 1, 0, 2, 2, 2, 2, 0, 1, 3]
        rng = random.Random(5)
        cls.values = []
        records = []
        for i, unscaled in enumerate(edges * 2):
            amount = Decimal(unscaled).scaleb(-2)
            items = [rng.randint(-999, 999) for _ in range(counts[i % len(counts)])]
            cls.values.append((amount, items))
            records.append(cobdata.packed(amount, 11, 2) + cobdata.zoned(len(items), 1, 0, False)
                           + b"".join(cobdata.packed(v, 3) for v in items))
        with open(os.path.join(cls.work, "w.dat"), "wb") as f:
            f.write(cobdata.variable(records))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def check(self, rows):
        self.assertEqual(len(self.values), len(rows))
        for (amount, items), row in zip(self.values, rows):
            self.assertEqual(amount, Decimal(str(row["AMT"])), row)
            self.assertEqual(items, [int(v) for v in row["ITEM"] or []], row)

    def test_avro(self):
        run(["-i", "w.cpy", "-recfm", "V", "-format", "avro", "-o", "w.avro", "w.dat"], self.work)
        self.check(read_avro(os.path.join(self.work, "w.avro"))[1])

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_parquet(self):
        run(["-i", "w.cpy", "-recfm", "V", "-format", "parquet", "-o", "w.parquet", "w.dat"],
            self.work)
        self.check(read_parquet("duckdb", os.path.join(self.work, "w.parquet"))["rows"])


FIXED_FIELDS = [
    Field("P1", "S9", "COMP-3"), Field("P3U", "9(5)", "COMP-3"),
    Field("P8", "S9(13)V99", "COMP-3"), Field("P9", "S9(17)", "COMP-3"),
    Field("Z1", "9"), Field("Z8", "S9(6)V99"), Field("Z9", "9(9)"),
    Field("ZL", "S9(3)", sign="LEADING"),
    Field("B2", "S9(4)", "COMP"), Field("B4U", "9(9)", "COMP"),
    Field("B8", "S9(18)", "COMP"), Field("B8U", "9(18)", "COMP"),
    Field("T7", "X(7)"), Field("T9", "X(9)"),
    Field("ARR", occurs=3, children=[Field("A-P", "S9(3)V9", "COMP-3"), Field("A-T", "X(3)")]),
    Field("TAIL", "X(13)"),
]


class FixedRecordValues(unittest.TestCase):
    """A fixed layout (no DEPENDING ON, one record) is decoded to values by compiled steps
    with readers of their own: packed of 1 to 8 bytes and 9, its sign nibbles A to F;
    zoned of 1 to 9 digits, trailing and leading signs; binary of 2, 4 and 8 bytes; text
    with characters of several UTF-8 lengths around 8-byte runs, NUL, all blanks, and a
    text field at the record's end; a bad packed value last, -select past a FILLER, a
    record of FILLER alone. Read back by the Avro library (DuckDB for Parquet) against
    the values cobdata encoded."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        rng = random.Random(11)
        alphabet = "ABC xyz09 \u00e4\u00e9\u00df\u00a2\u0000"
        leaves = [f for f in FIXED_FIELDS if not f.children]
        item = FIXED_FIELDS[14].children
        cls.values, records = [], []
        for i in range(600):
            value, data = {}, b""
            for f in FIXED_FIELDS:
                if f.children:
                    value[f.name] = []
                    for _ in range(f.occurs):
                        v = {c.name: fixed_value(rng, c, i, alphabet) for c in item}
                        value[f.name].append(v)
                        data += b"".join(cobdata.encode_value(c, v[c.name]) for c in item)
                    continue
                value[f.name] = fixed_value(rng, f, i, alphabet)
                data += cobdata.encode_value(f, value[f.name])
            # Other sign nibbles IBM allows: A, E, F positive, B negative.
            sign = data[0] & 0x0F
            sign = {0xC: (0xA, 0xE, 0xF)[i % 3], 0xD: 0xB}[sign]
            data = bytes([(data[0] & 0xF0) | sign]) + data[1:]
            cls.values.append(value)
            records.append(data)
        assert len(leaves) == 15 and len(records[0]) == sum(
            cobdata.field_length(f) * (f.occurs or 1) for f in FIXED_FIELDS)
        with open(os.path.join(cls.work, "x.cpy"), "w") as f:
            f.write(cobdata.copybook("REC", FIXED_FIELDS))
        with open(os.path.join(cls.work, "x.dat"), "wb") as f:
            f.write(b"".join(records))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def check(self, rows, trim, names=lambda k: k):
        def shown(value):
            if isinstance(value, dict):
                return {k: shown(v) for k, v in value.items()}
            if isinstance(value, list):
                return [shown(v) for v in value]
            return value.rstrip(" ") if trim and isinstance(value, str) else value

        self.assertEqual(len(self.values), len(rows))
        for i, (value, row) in enumerate(zip(self.values, rows)):
            compare(self, shown(value), row, f"record {i + 1}", names)

    def test_avro_trimmed_and_not(self):
        for trim in (["-trim"], []):
            run(["-i", "x.cpy", *trim, "-format", "avro", "-o", "x.avro", "x.dat"], self.work)
            self.check(read_avro(os.path.join(self.work, "x.avro"))[1], bool(trim), avro_name)

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_parquet(self):
        run(["-i", "x.cpy", "-trim", "-format", "parquet", "-o", "x.parquet", "x.dat"], self.work)
        self.check(read_parquet("duckdb", os.path.join(self.work, "x.parquet"))["rows"], True)

    def test_bad_packed_last_and_select(self):
        with open(os.path.join(self.work, "s.cpy"), "w") as f:
            f.write("       01  R2.\n           05  K    PIC X(5).\n"
                    "           05  SKIP PIC S9(3) COMP-3.\n           05  FILLER PIC X(3).\n"
                    "           05  AMT  PIC S9(7)V99 COMP-3.\n")
        amounts = [Decimal("1.25"), None, Decimal("-9999999.99"), None, Decimal(0)]
        bad = {1: b"\x1A\x34\x56\x78\x9C", 3: b"\x12\x34\x56\x78\x95"}
        with open(os.path.join(self.work, "s.dat"), "wb") as f:
            for i, amount in enumerate(amounts):
                f.write(cobdata.text(f"K{i}", 5) + cobdata.packed(i, 3) + b"\x40" * 3
                        + (bad[i] if amount is None else cobdata.packed(amount, 9, 2)))
        # The field's byte in the file, its path and its bytes, as the lines warn of them.
        warned = [f"vexfcbl-decode: s.dat: record {i + 1}, byte {15 * i + 10}: R2.AMT: "
                  f"invalid packed decimal: {' '.join('%02X' % b for b in bad[i])}" for i in bad]
        for select in (["-select", "K,AMT"], []):
            done = subprocess.run([DECODER, "-i", "s.cpy", *select, "-format", "avro",
                                   "-o", "s.avro", "s.dat"], cwd=self.work, capture_output=True)
            self.assertEqual(0, done.returncode, done.stderr)
            self.assertEqual(warned, done.stderr.decode().splitlines()[:2])
            rows = read_avro(os.path.join(self.work, "s.avro"))[1]
            self.assertEqual([f"K{i}   " for i in range(5)], [r["K"] for r in rows])
            self.assertEqual(amounts, [r["AMT"] for r in rows])
            if select:
                self.assertNotIn("SKIP", rows[0])
            else:
                self.assertEqual(list(range(5)), [r["SKIP"] for r in rows])
        with open(os.path.join(self.work, "f.cpy"), "w") as f:
            f.write("       01  R3.\n           05  FILLER PIC X(4).\n")
        with open(os.path.join(self.work, "f.dat"), "wb") as f:
            f.write(b"\xC1" * 8)
        run(["-i", "f.cpy", "-format", "avro", "-o", "f.avro", "f.dat"], self.work)
        self.assertEqual([{}, {}], read_avro(os.path.join(self.work, "f.avro"))[1])


def fixed_value(rng, f, i, alphabet):
    """A value for `f`: its largest, smallest and one unit every few records, else a random
    one; text all blanks every seventh record."""
    if "X" in f.picture:
        length = cobdata.field_length(f)
        if i % 7 == 3:
            return " " * length
        return "".join(rng.choice(alphabet) for _ in range(rng.randint(0, length))).ljust(length)
    digits, scale, signed = cobdata.picture_digits(f.picture)
    top = Decimal(10 ** digits - 1).scaleb(-scale)
    if i % 5 == 1:
        return top
    if i % 5 == 2:
        return -top if signed else Decimal(0)
    if i % 5 == 3:
        return Decimal(-1 if signed else 1).scaleb(-scale)
    return cobdata.random_number(rng, digits, scale, signed)


class LevelRunsAcrossPages(unittest.TestCase):
    """Runs of definition levels longer than a page and a row group: 60 packed items a record,
    all of them bad (null) in stretches of 2000 records and one in two in scattered records,
    so that pages (cut at 1 MiB inside -row-group-mb 7) and row groups (-row-group-mb 1) end
    inside a run of nulls and inside a run of values. Every row read back by DuckDB against
    the values cobdata encoded."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        with open(os.path.join(cls.work, "l.cpy"), "w") as f:
            f.write("       01  REC.\n"
                    "           05  SEQ   PIC 9(6).\n"
                    "           05  ITEM  PIC S9(7) COMP-3 OCCURS 60.\n")
        rng = random.Random(60)
        bad = b"\x12\x34\x5A\x7F"
        records, cls.expected = [], []
        for i in range(20000):
            items = [rng.randint(-9999999, 9999999) for _ in range(60)]
            if 5000 <= i < 7000 or 11000 <= i < 13000:
                items = [None] * 60
            elif i % 997 == 0:
                items = [None if j % 2 else v for j, v in enumerate(items)]
            cls.expected.append((i, items))
            records.append(cobdata.zoned(i, 6, 0, False) + b"".join(
                bad if v is None else cobdata.packed(v, 7) for v in items))
        with open(os.path.join(cls.work, "l.dat"), "wb") as f:
            f.write(cobdata.variable(records))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_every_row_of_pages_and_row_groups_cut_inside_runs(self):
        for megabytes in ("1", "7"):
            with self.subTest(row_group_mb=megabytes):
                run(["-i", "l.cpy", "-recfm", "V", "-format", "parquet", "-row-group-mb",
                     megabytes, "-o", "l.parquet", "l.dat"], self.work)
                path = os.path.join(self.work, "l.parquet")
                groups = {s["row_group_id"] for s in parquet_statistics(path)}
                self.assertGreater(len(groups), 1 if megabytes == "1" else 0)
                rows = read_parquet("duckdb", path)["rows"]
                self.assertEqual(len(self.expected), len(rows))
                for (number, items), row in zip(self.expected, rows):
                    self.assertEqual(number, int(row["SEQ"]))
                    self.assertEqual(items, [None if v is None else int(v) for v in row["ITEM"]],
                                     f"record {number + 1}")


class StatisticsOrder(unittest.TestCase):
    """Parquet's min and max of texts and of 31-digit decimals (13-byte two's complement), the
    writer placing most values by their first 8 bytes, against Python's min and max of the
    values cobdata encoded, as DuckDB reads the footer."""

    # Groups whose min and max are decided by the bytes each part of the writer reads: 1 to 3
    # bytes, 4 to 7 (the last ones deciding), those lengths against longer texts, one
    # another's prefix about the 8th byte, the tail past the 8th (the 9th byte and the 10th
    # deciding apart), and bytes past 0x7F.
    TEXTS = [["AB", "ABC", "A", "B", "BA", "BAA"],
             ["ABCDEFG", "ABCDZ", "ABCDE", "ABCDA", "ABCD", "ABCDEF"],
             ["B", "ABCD", "ABCDEFGHIJ", "AZ", "BA", "ABC"],
             ["ABCDEFGH", "ABCDEFG", "ABCDEFGHI", "ABCDEFGH\u00e9"],
             ["ABCDEFGHBA", "ABCDEFGHAZ", "ABCDEFGHB", "ABCDEFGHA\u00e9", "ABCDEFGHIJKLMNOPQRST",
              "ABCDEFGHIJKLMNOPQRSS"],
             ["\u00e9", "\u00e9\u00e9\u00e9\u00e9\u00e9", "Z", "ZZZZZZZZ", "ZZZZZZZZZ", "ZZZZZZZY",
              "ZZZZZZZZ\u00c0"]]
    # Near zero the first 8 of the 13 bytes are all 00 or all FF.
    AMOUNTS = [[-1, -2, -3, -256, -255, -2**23], [1, 2, 255, 256, 0, 2**23 - 1],
               [0, 1, -1, 2, -2, 2**40, -(2**40), 2**64, -(2**64)],
               [10**27 - 1, -(10**27 - 1), 10**27, -(10**27), 5, -5]]

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        with open(os.path.join(cls.work, "o.cpy"), "w") as f:
            f.write("       01  REC.\n"
                    "           05  NAME  PIC X(20).\n"
                    "           05  BIG   PIC S9(31) COMP-3.\n")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def statistics(self, rows):
        with open(os.path.join(self.work, "o.dat"), "wb") as f:
            f.write(b"".join(cobdata.text(name, 20) + cobdata.packed(amount, 31)
                             for name, amount in rows))
        run(["-i", "o.cpy", "-trim", "-format", "parquet", "-o", "o.parquet", "o.dat"], self.work)
        return {s["path_in_schema"]: s for s in parquet_statistics(os.path.join(self.work,
                                                                               "o.parquet"))}

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_min_and_max_past_the_first_eight_bytes(self):
        rng = random.Random(8)
        # Each group in its order, reversed and shuffled, then all of them shuffled: the first
        # value, a new minimum, a new maximum and a repeat of either come in every position.
        sets = []
        for i, names in enumerate(self.TEXTS):
            amounts = self.AMOUNTS[i % len(self.AMOUNTS)]
            shuffled = (names[:], amounts[:])
            rng.shuffle(shuffled[0])
            rng.shuffle(shuffled[1])
            sets += [(names, amounts), (names[::-1], amounts[::-1]), shuffled]
        for _ in range(3):
            names = [n for group in self.TEXTS for n in group]
            amounts = [a for group in self.AMOUNTS for a in group]
            rng.shuffle(names)
            rng.shuffle(amounts)
            sets.append((names, amounts))
        for names, amounts in sets:
            with self.subTest(names=names, amounts=amounts):
                count = max(len(names), len(amounts))
                rows = [(names[i % len(names)], amounts[i % len(amounts)]) for i in range(count * 2)]
                stats = self.statistics(rows)
                self.assertEqual(min(n for n, _ in rows), stats["NAME"]["stats_min_value"])
                self.assertEqual(max(n for n, _ in rows), stats["NAME"]["stats_max_value"])
                self.assertEqual(min(a for _, a in rows), Decimal(stats["BIG"]["stats_min_value"]))
                self.assertEqual(max(a for _, a in rows), Decimal(stats["BIG"]["stats_max_value"]))


class ShapesMidFile(unittest.TestCase):
    """Records whose token structure changes from one to the next: three kinds picked by
    -when (one REDEFINES alternative, the other, or all of them when no rule matches), each
    with an ODO table of 0 to 12 items, in random order (more shapes than the writers learn
    plans for), and amounts of bad packed data (null) in some records of each shape. Read
    back by the Avro library, DuckDB and hyparquet against the values cobdata encoded; the
    bytes of the third kind's alternatives are worked out by hand (IBM037 letters are no
    packed digits, so B-RATE is null; A-QTY is the first two bytes, big-endian)."""

    COPYBOOK = ("       01  REC.\n"
                "           05  KIND     PIC X.\n"
                "           05  AMT      PIC S9(5)V99 COMP-3.\n"
                "           05  NAME     PIC X(4).\n"
                "           05  BODY     PIC X(6).\n"
                "           05  BODY-A REDEFINES BODY.\n"
                "               10  A-QTY  PIC S9(4) COMP.\n"
                "               10  A-CODE PIC X(4).\n"
                "           05  BODY-B REDEFINES BODY.\n"
                "               10  B-RATE PIC S9(3)V99 COMP-3.\n"
                "               10  B-TEXT PIC X(3).\n"
                "           05  N        PIC 99.\n"
                "           05  ITEM     PIC S9(3) COMP-3 OCCURS 0 TO 12 DEPENDING ON N.\n")

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        with open(os.path.join(cls.work, "s.cpy"), "w") as f:
            f.write(cls.COPYBOOK)
        rng = random.Random(12)
        records, cls.expected = [], []
        letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
        for i in range(600):
            kind = rng.choice("ABC")
            bad = rng.random() < 0.15
            amount = cobdata.random_number(rng, 7, 2, True)
            name = "".join(rng.choice(letters) for _ in range(rng.randint(1, 4))).ljust(4)
            items = [rng.randint(-999, 999) for _ in range(rng.randint(0, 12))]
            line = {"KIND": kind, "AMT": None if bad else Decimal(amount), "NAME": name}
            if kind == "A":
                qty, code = rng.randint(-9999, 9999), rng.choice(["XY", "Q", "ZZZZ"]).ljust(4)
                body = cobdata.binary(qty, 4) + cobdata.text(code, 4)
                line["BODY-A"] = {"A-QTY": qty, "A-CODE": code}
            elif kind == "B":
                rate = cobdata.random_number(rng, 5, 2, True)
                note = rng.choice(["P", "QR"]).ljust(3)
                body = cobdata.packed(rate, 5, 2) + cobdata.text(note, 3)
                line["BODY-B"] = {"B-RATE": Decimal(rate), "B-TEXT": note}
            else:
                raw = "".join(rng.choice(letters) for _ in range(6))
                body = cobdata.text(raw, 6)
                line["BODY"] = raw
                line["BODY-A"] = {"A-QTY": int.from_bytes(body[:2], "big", signed=True),
                                  "A-CODE": raw[2:]}
                line["BODY-B"] = {"B-RATE": None, "B-TEXT": raw[3:]}
            line["N"] = len(items)
            line["ITEM"] = items
            packed = b"\x12\x34\x5A\x7F" if bad else cobdata.packed(amount, 7, 2)
            records.append(cobdata.text(kind, 1) + packed + cobdata.text(name, 4) + body
                           + cobdata.zoned(len(items), 2, 0, False)
                           + b"".join(cobdata.packed(v, 3) for v in items))
            cls.expected.append(line)
        # Every kind with several counts, and bad amounts among them.
        shapes = {(e["KIND"], e["N"]) for e in cls.expected}
        assert len(shapes) > 30 and sum(e["AMT"] is None for e in cls.expected) > 40
        with open(os.path.join(cls.work, "s.dat"), "wb") as f:
            f.write(cobdata.variable(records))
        cls.args = ["-i", "s.cpy", "-recfm", "V", "-when", "KIND=A:BODY-A", "-when",
                    "KIND=B:BODY-B", "s.dat"]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def check(self, rows, names=lambda k: k, inexact=False):
        self.assertEqual(len(self.expected), len(rows))
        for i, (line, row) in enumerate(zip(self.expected, rows)):
            compare(self, line, row, f"record {i + 1}", names, inexact)

    def test_avro(self):
        for codec in ("null", "snappy"):
            with self.subTest(codec=codec):
                run([*self.args, "-format", "avro", "-codec", codec, "-o", "s.avro"], self.work)
                self.check(read_avro(os.path.join(self.work, "s.avro"))[1], avro_name)

    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_parquet(self):
        run([*self.args, "-format", "parquet", "-o", "s.parquet"], self.work)
        path = os.path.join(self.work, "s.parquet")
        self.check(read_parquet("duckdb", path)["rows"])
        self.check(read_parquet("hyparquet", path)["rows"], inexact=True)
        stats = {s["path_in_schema"]: s for s in parquet_statistics(path)}
        amounts = [e["AMT"] for e in self.expected if e["AMT"] is not None]
        self.assertEqual(len(self.expected) - len(amounts), int(stats["AMT"]["stats_null_count"]))
        self.assertEqual(min(amounts), Decimal(stats["AMT"]["stats_min_value"]))
        self.assertEqual(max(amounts), Decimal(stats["AMT"]["stats_max_value"]))
        names = [e["NAME"] for e in self.expected]
        self.assertEqual(min(names), stats["NAME"]["stats_min_value"])
        self.assertEqual(max(names), stats["NAME"]["stats_max_value"])


class Edges(unittest.TestCase):
    """No records, a run that fails, options that do not go together."""

    def setUp(self):
        self.work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.work)
        with open(os.path.join(self.work, "r.cpy"), "w") as f:
            f.write(cobdata.copybook("REC", FIELDS))
        open(os.path.join(self.work, "empty.dat"), "wb").close()

    def decode(self, *args):
        return subprocess.run([DECODER, "-q", "-i", "r.cpy", "-recfm", "V", *args],
                              cwd=self.work, capture_output=True, text=True)

    def test_no_records_give_files_of_the_schema_alone(self):
        self.assertEqual(0, self.decode("-format", "avro", "-o", "e.avro", "empty.dat").returncode)
        schema, records = read_avro(os.path.join(self.work, "e.avro"))
        self.assertEqual([], records)
        self.assertEqual("REC", schema["name"])
        if HAVE_NODE:
            self.assertEqual(0, self.decode("-format", "parquet", "-o", "e.parquet",
                                            "empty.dat").returncode)
            read = read_parquet("duckdb", os.path.join(self.work, "e.parquet"))
            self.assertEqual([], read["rows"])
            self.assertEqual(list(DUCKDB_TYPES), [t["column_name"] for t in read["types"]])

    def test_a_failed_run_leaves_the_earlier_file(self):
        records, _ = random_records(3, 1)
        with open(os.path.join(self.work, "bad.dat"), "wb") as f:
            # A packed decimal with a digit nibble of 0xA in the second record, which
            # -strict stops at after the first was written.
            bad = records[1][:24] + b"\xAA" + records[1][25:]
            f.write(records[0] + bad + records[2])
        for form in ("avro", "parquet"):
            with self.subTest(form=form):
                path = os.path.join(self.work, "out." + form)
                with open(path, "wb") as f:
                    f.write(b"earlier")
                done = self.decode("-recfm", "F", "-float", "ieee", "-strict", "-format",
                                   form, "-o", path, "bad.dat")
                self.assertEqual(1, done.returncode)
                self.assertIn("record 2, byte 148: REC.AMOUNT: invalid packed decimal",
                              done.stderr)
                self.assertIn("nothing written to", done.stderr)
                with open(path, "rb") as f:
                    self.assertEqual(b"earlier", f.read())

    def test_refusals_name_the_option(self):
        for args, message in [
                (["-format", "avro", "-raw"], "-raw adds base64 keys to JSON Lines or CSV"),
                (["-format", "avro", "-codec", "zstd"], "-codec zstd: Avro codecs are null, deflate, snappy"),
                (["-codec", "snappy"], "-codec snappy: only -format avro and -format parquet"),
                (["-row-group-mb", "0"], "-row-group-mb 0: give a size in MiB from 1 to 4096"),
                (["-schema-format", "xml"], "-schema-format xml: one of json-schema, avro, sql"),
                (["-schema", "r.txt"], "-schema r.txt: give -schema-format")]:
            with self.subTest(args=args):
                done = self.decode(*args, "empty.dat")
                self.assertEqual(1, done.returncode)
                self.assertIn(message, done.stderr)


GOLDEN = os.path.join(SOURCE, "tests", "golden")
HIERARCHY = ["-i", "bank.cpy", "-segment", "C-SEG", "-when", "C:CUSTOMER", "-when", "A:ACCOUNT",
             "-when", "T:TXN", "-child", "ACCOUNT:CUSTOMER", "-child", "TXN:ACCOUNT", "bank.dat"]


def golden_files(case):
    work = tempfile.mkdtemp()
    shutil.copytree(os.path.join(GOLDEN, case, "files"), work, dirs_exist_ok=True)
    return work


def rejected(validator, line):
    return next(validator.iter_errors(line), None) is not None


class SchemaShapes(unittest.TestCase):
    """The JSON Schema takes the lines the decoder writes and nothing shaped otherwise."""

    def test_redefines_alternatives_are_one_of_the_sets_the_rules_pick(self):
        work = golden_files("decode-chained-redefines")
        self.addCleanup(shutil.rmtree, work)
        # K01 picks CH-A and CH-G1, K02 CH-C and CH-G3, K09 matches no rule: every
        # alternative is written. Bytes from cobdata, laid out by hand (CH-REC is 3 + 10 +
        # 2 + 6 + 5 bytes).
        area = cobdata.text("1234567890", 10)
        records = [
            cobdata.text("K01", 3) + cobdata.text("ABCDEFGHIJ", 10) + cobdata.binary(-7, 4)
            + cobdata.text("WXYZ", 4) + cobdata.text("QQ", 2) + cobdata.zoned(-1, 5, 2),
            cobdata.text("K09", 3) + area + cobdata.binary(8, 4) + cobdata.zoned(1234, 4, 0, False)
            + cobdata.text("RR", 2) + cobdata.zoned(5, 5, 2)]
        with open(os.path.join(work, "k.dat"), "wb") as f:
            f.write(b"".join(records))
        args = ["-i", "CHAIN.cpy", "-when", "CH-KEY=K01:CH-A", "-when", "CH-KEY=K02:CH-C",
                "-when", "CH-KEY=K01:CH-G1", "-when", "CH-KEY=K02:CH-G3", "k.dat"]
        picked, every = json_lines(run([*args, "-schema", "k.json"], work))
        with open(os.path.join(work, "k.json")) as f:
            validator = jsonschema.Draft202012Validator(json.load(f, parse_float=Decimal))
        alternatives = ["CH-A", "CH-B", "CH-C", "CH-D"]
        self.assertEqual(["CH-A"], [k for k in picked["CH-REC"] if k in alternatives])
        self.assertEqual(alternatives, [k for k in every["CH-REC"] if k in alternatives])
        self.assertEqual(["CH-G1", "CH-G2", "CH-G3"],
                         [k for k in every["CH-REC"]["CH-GRP"] if k.startswith("CH-G") and k != "CH-G4"])
        for line in (picked, every):
            validator.validate(line)
        wrong = []
        both = json.loads(json.dumps(picked, default=str))
        both["CH-REC"]["CH-C"] = {"CH-C1": "AB", "CH-C2": 1}  # two rules' picks at once
        wrong.append(both)
        none = json.loads(json.dumps(picked, default=str))
        del none["CH-REC"]["CH-A"]  # no alternative at all
        wrong.append(none)
        three = json.loads(json.dumps(every, default=str))
        del three["CH-REC"]["CH-B"]  # neither a rule's pick nor all of them
        wrong.append(three)
        inner = json.loads(json.dumps(picked, default=str))
        inner["CH-REC"]["CH-GRP"]["CH-G3"] = 1  # the nested area's two picks
        wrong.append(inner)
        for number, line in enumerate(wrong):
            with self.subTest(wrong=number):
                self.assertTrue(rejected(validator, line), line)

    def test_trees_and_ids_are_exact(self):
        work = golden_files("decode-hierarchy")
        self.addCleanup(shutil.rmtree, work)
        lines = json_lines(run([*HIERARCHY, "-schema", "t.json"], work))
        with open(os.path.join(work, "t.json")) as f:
            validator = jsonschema.Draft202012Validator(json.load(f, parse_float=Decimal))
        for line in lines:
            validator.validate(line)
        alice = lines[0]
        self.assertEqual(2, len(alice["CUSTOMER"]["ACCOUNT"][0]["TXN"]))
        wrong = []
        no_txn = json.loads(json.dumps(alice, default=str))
        del no_txn["CUSTOMER"]["ACCOUNT"][0]["TXN"]  # a nested record always has its arrays
        wrong.append(no_txn)
        stray = json.loads(json.dumps(alice, default=str))
        stray["CUSTOMER"]["TXN"] = []  # TXN is no child of CUSTOMER
        wrong.append(stray)
        flat = json.loads(json.dumps(alice, default=str))
        flat["CUSTOMER"]["ACCOUNT"][0]["TXN"][0]["ACCOUNT"] = []
        wrong.append(flat)
        for number, line in enumerate(wrong):
            with self.subTest(wrong=number):
                self.assertTrue(rejected(validator, line), line)

        ids = json_lines(run([*HIERARCHY, "-ids", "-schema", "i.json"], work))
        with open(os.path.join(work, "i.json")) as f:
            validator = jsonschema.Draft202012Validator(json.load(f, parse_float=Decimal))
        for line in ids:
            validator.validate(line)
        self.assertEqual([1, 2, 3], [line["_record"] for line in ids[:3]])
        for line in ({k: v for k, v in ids[1].items() if k != "_parent"},
                     {**ids[1], "_record": None}, {**ids[1], "_segment": 7}):
            self.assertTrue(rejected(validator, line), line)


class HierarchyRows(unittest.TestCase):
    def test_a_short_last_record_is_warned_of_as_in_the_lines(self):
        """Records decoded apart for ids, trees and end records keep the lines' warnings."""
        work = golden_files("decode-hierarchy")
        self.addCleanup(shutil.rmtree, work)
        with open(os.path.join(work, "bank.dat"), "rb") as f:
            data = f.read()
        with open(os.path.join(work, "short.dat"), "wb") as f:
            f.write(data[:255])  # 12 records of 20 bytes and 15 bytes of the 13th
        base = [a if a != "bank.dat" else "short.dat" for a in HIERARCHY]
        for extra in (["-ids"], [], ["-ids", "-header", "CUSTOMER", "-trailer", "TXN"]):
            with self.subTest(extra=extra):
                def warnings(*more):
                    done = subprocess.run([DECODER, *base, *extra, *more], cwd=work,
                                          capture_output=True)
                    self.assertEqual(0, done.returncode, done.stderr)
                    return [line for line in done.stderr.decode().splitlines()
                            if "truncated record" in line or "belong to" in line]
                lines = warnings()
                self.assertIn("vexfcbl-decode: short.dat: record 13, byte 240: truncated record",
                              lines)
                self.assertEqual(lines, warnings("-format", "avro", "-o", "s.avro"))
                self.assertEqual(lines, warnings("-format", "parquet", "-o", "s.parquet"))

    def test_a_tree_past_a_megabyte_is_one_avro_row(self):
        """A root with 120 000 descendants: its row is larger than the 1 MiB block a flat
        record gets, and the Avro block of a tree holds it."""
        work = golden_files("decode-hierarchy")
        self.addCleanup(shutil.rmtree, work)
        amounts = [Decimal(i % 99999) / 100 for i in range(120000)]
        records = [cobdata.text("C", 1) + cobdata.zoned(1, 4, 0, False) + cobdata.text("BIG", 10)
                   + cobdata.text("", 5),
                   cobdata.text("A", 1) + cobdata.text("ACC1", 8) + cobdata.packed(5, 9, 2)
                   + cobdata.text("", 6)]
        records += [cobdata.text("T", 1) + cobdata.zoned(20260101, 8, 0, False)
                    + cobdata.packed(amount, 7, 2) + cobdata.text("D", 1) + cobdata.text("", 6)
                    for amount in amounts]
        with open(os.path.join(work, "big.dat"), "wb") as f:
            f.write(b"".join(records))
        args = [a if a != "bank.dat" else "big.dat" for a in HIERARCHY]
        run([*args, "-format", "avro", "-o", "big.avro"], work)
        _, rows = read_avro(os.path.join(work, "big.avro"))
        self.assertEqual(1, len(rows))
        txn = rows[0]["CUSTOMER"]["ACCOUNT"][0]["TXN"]
        self.assertEqual(amounts, [t["T_AMT"] for t in txn])


class SchemaDdl(unittest.TestCase):
    @unittest.skipUnless(shutil.which("sqlite3"), "sqlite3 (Debian) is not installed")
    def test_golden_ddl_runs_in_sqlite(self):
        """Every DDL golden file (standard and PostgreSQL dialects) creates all its tables."""
        root = os.path.join(SOURCE, "tests", "golden")
        files = []
        for name in sorted(os.listdir(root)):
            out = os.path.join(root, name, "out")
            if os.path.isdir(out):
                files += [os.path.join(out, f) for f in os.listdir(out) if f.endswith((".sql", ".ddl"))]
        self.assertGreaterEqual(len(files), 4)
        for path in files:
            with self.subTest(ddl=path):
                ddl = read_text(path)
                done = subprocess.run(["sqlite3", ":memory:"], input=ddl + "\n.tables\n",
                                      capture_output=True, text=True)
                self.assertEqual("", done.stderr)
                wanted = re.findall(r'^CREATE TABLE "([^"]+)"', ddl, re.M)
                self.assertEqual(sorted(wanted), sorted(done.stdout.split()))

    def test_csv_loads_into_the_tables(self):
        work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, work)
        with open(os.path.join(work, "r.cpy"), "w") as f:
            f.write(cobdata.copybook("REC", FIELDS))
        records, values = random_records(200, 7)
        with open(os.path.join(work, "r.dat"), "wb") as f:
            f.write(cobdata.variable(records))
        args = ["-i", "r.cpy", "-recfm", "V", "-float", "ieee", "-trim", "r.dat"]
        run([*args, "-schema", "r.sql"], work)
        csv_text = run([*args, "-format", "csv"], work).decode()
        db = sqlite3.connect(":memory:")
        db.executescript(read_text(os.path.join(work, "r.sql")))
        import csv
        rows = list(csv.reader(csv_text.splitlines()))
        header, body = rows[0], rows[1:]
        for number, row in enumerate(body, 1):
            top = {h: v for h, v in zip(header, row) if "[" not in h}
            db.execute(f'INSERT INTO "REC" ("record_number", {", ".join(f"{chr(34)}{h}{chr(34)}" for h in top)}) '
                       f'VALUES (?, {", ".join("?" * len(top))})', [number, *[v or None for v in top.values()]])
            for i in range(1, 6):
                cells = {h.split("].", 1)[1]: v for h, v in zip(header, row) if h.startswith(f"ORD-LINE[{i}].")}
                if all(v == "" for v in cells.values()):
                    continue
                db.execute(f'INSERT INTO "REC.ORD-LINE" ("record_number", "occurrence1", "ITEM", "PRICE") '
                           f'VALUES (?, ?, ?, ?)', [number, i, cells["ITEM"], cells["PRICE"]])
        self.assertEqual(len(values), db.execute('SELECT count(*) FROM "REC"').fetchone()[0])
        self.assertEqual(sum(v["N"] for v in values),
                         db.execute('SELECT count(*) FROM "REC.ORD-LINE"').fetchone()[0])
        # The foreign key holds: every line belongs to a record.
        db.execute("PRAGMA foreign_keys = ON")
        self.assertEqual([], db.execute("PRAGMA foreign_key_check").fetchall())

    @unittest.skipUnless(shutil.which("sqlite3"), "sqlite3 (Debian) is not installed")
    def test_hierarchy_ddl_takes_the_ids_csv(self):
        """-child's tables in sqlite3 (the program, as users run the DDL), then the -ids CSV
        loaded into them with the foreign keys on: each record into its segment's table."""
        work = golden_files("decode-hierarchy")
        self.addCleanup(shutil.rmtree, work)
        run([*HIERARCHY, "-schema", "h.sql", "-o", "h.jsonl"], work)
        ddl = read_text(os.path.join(work, "h.sql"))
        done = subprocess.run(["sqlite3", os.path.join(work, "h.db")], input=ddl,
                              capture_output=True, text=True)
        self.assertEqual("", done.stderr)
        csv_text = run([*HIERARCHY, "-ids", "-format", "csv"], work).decode()
        import csv
        rows = list(csv.reader(csv_text.splitlines()))
        header, body = rows[0], rows[1:]
        db = sqlite3.connect(os.path.join(work, "h.db"))
        db.execute("PRAGMA foreign_keys = ON")
        for row in body:
            cells = dict(zip(header, row))
            segment = cells["_segment"]
            own = {h.split(".", 1)[1]: v for h, v in cells.items() if h.startswith(segment + ".")}
            names = ", ".join(f'"{name}"' for name in own)
            db.execute(f'INSERT INTO "{segment}" ("record_number", "_segment", "_parent", {names}) '
                       f'VALUES (?, ?, ?, {", ".join("?" * len(own))})',
                       [cells["_record"], segment, cells["_parent"] or None, *own.values()])
        db.commit()
        count = {t: db.execute(f'SELECT count(*) FROM "{t}"').fetchone()[0]
                 for t in ("CUSTOMER", "ACCOUNT", "TXN")}
        # encode.json: 3 customers, 4 accounts, 6 transactions (one without an account).
        self.assertEqual({"CUSTOMER": 3, "ACCOUNT": 4, "TXN": 6}, count)
        carol = db.execute('SELECT sum(t."T-AMT" * 100) FROM "TXN" t JOIN "ACCOUNT" a '
                           'ON t."_parent" = a."record_number" JOIN "CUSTOMER" c '
                           'ON a."_parent" = c."record_number" WHERE c."C-NAME" LIKE \'CAROL%\'')
        self.assertEqual(-1234 + 1 + 2, round(carol.fetchone()[0]))
        self.assertEqual([], db.execute("PRAGMA foreign_key_check").fetchall())
        # A transaction naming no account is refused by the key.
        with self.assertRaises(sqlite3.IntegrityError):
            db.execute('INSERT INTO "TXN" ("record_number", "_parent") VALUES (99, 98)')


if __name__ == "__main__":
    unittest.main()
