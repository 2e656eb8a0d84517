"""Avro and Parquet records of a fixed layout are written two ways: a run's first batch of 4096 records (and
any record with a bad value) by the writer's walk of the decoder's values, the records after it
straight from their bytes by the decoder's compiled steps. Both must write the bytes Avro's
binary encoding gives, which this test computes with an encoder of its own, from the values
cobdata put in the file and the schema in the file's header: every block's bytes are compared,
so a datum that reads back the same but is encoded otherwise (a decimal one byte wider, a
union branch wrong) fails. The records repeat every 1000, so the same bytes go through both
ways. Decimals sit on the edges of their byte widths, text has characters of several UTF-8
lengths and blanks to trim, an OCCURS table holds groups; bad packed and zoned values make
nulls (with the warnings JSON Lines gives). -j 2 and -codec snappy write the same records.
Parquet's entries are checked by DuckDB's reading of every row, and -j 2 (whose batches take
the two ways otherwise: each batch of its pool starts on the walk) must write the same file.

Run by ctest: VEXFCBL_DECODE names the decoder, VEX_SOURCE_DIR the source tree.
"""

import json
import os
import random
import shutil
import subprocess
import tempfile
import unittest
from decimal import Decimal

from lake_formats_test import (DECODER, HAVE_NODE, NO_NODE, avro_name, cobdata, compare, read_avro,
                               read_parquet)
from cobdata import Field

FIELDS = [
    Field("T-NAME", "X(20)"),
    Field("T-SHORT", "X(3)"),
    Field("P1", "S9", "COMP-3"),
    Field("P3", "S9(4)V9", "COMP-3"),
    Field("P5U", "9(9)", "COMP-3"),
    Field("P8", "S9(13)V99", "COMP-3"),
    Field("Z4", "S9(2)V99"),
    Field("Z8", "9(8)"),
    Field("B2", "S9(2)V99", "COMP"),
    Field("B4", "S9(9)", "COMP"),
    Field("B4U", "9(7)V99", "COMP"),
    Field("B8", "S9(16)V99", "COMP"),
    Field("B8I", "S9(18)", "COMP"),
    Field("ROW", occurs=3, children=[Field("R-AMT", "S9(5)V99", "COMP-3"),
                                     Field("R-TAG", "X(5)")]),
    Field("T-END", "X(9)"),
]
REPEAT = 1000
RECORDS = 10 * REPEAT
# Unscaled values on each side of the byte widths of two's complement: -2^(8n-1) - 1 to
# -2^(8n-1), 2^(8n-1) - 1 to 2^(8n-1), and 0, 1, -1.
EDGES = sorted({s * (2 ** (8 * n - 1) + d) for n in range(1, 8) for d in (-1, 0) for s in (1, -1)}
               | {-(2 ** (8 * n - 1)) - 1 for n in range(1, 8)} | {0, 1, -1})
ALPHABET = "AZaz09 .-\u00e4\u00e9\u00df\u00a2\u00ac"


def leaves(fields):
    for f in fields:
        if f.children:
            yield from leaves(f.children)
        else:
            yield f


def value_of(rng, f, i):
    """Text of several lengths (blank every ninth record); numbers at the edges of the byte
    widths their field can hold, else random."""
    if "X" in f.picture:
        length = cobdata.field_length(f)
        if i % 9 == 4:
            return " " * length
        text = "".join(rng.choice(ALPHABET) for _ in range(rng.randint(0, length)))
        return text.ljust(length)
    digits, scale, signed = cobdata.picture_digits(f.picture)
    top = 10 ** digits - 1
    fitting = [e for e in EDGES if abs(e) <= top and (signed or e >= 0)]
    if i % 3 != 0 and fitting:
        return Decimal(rng.choice(fitting)).scaleb(-scale)
    return cobdata.random_number(rng, digits, scale, signed)


def zigzag(n):
    z = (n << 1) ^ (n >> 63)
    out = bytearray()
    while z >= 0x80:
        out.append((z & 0x7F) | 0x80)
        z >>= 7
    out.append(z)
    return bytes(out)


def encode(schema, value):
    """`value` in Avro's binary encoding under `schema` (a parsed schema of the file)."""
    if isinstance(schema, list):
        if value is None:
            return zigzag(schema.index("null"))
        branch = next(i for i, s in enumerate(schema) if s != "null")
        return zigzag(branch) + encode(schema[branch], value)
    kind = schema if isinstance(schema, str) else schema["type"]
    if isinstance(schema, dict) and schema.get("logicalType") == "decimal":
        assert kind == "bytes", schema
        unscaled = int(Decimal(value).scaleb(schema["scale"]))
        size = 1
        while not -(2 ** (8 * size - 1)) <= unscaled < 2 ** (8 * size - 1):
            size += 1
        return zigzag(size) + unscaled.to_bytes(size, "big", signed=True)
    if kind == "string":
        data = value.encode()
        return zigzag(len(data)) + data
    if kind in ("int", "long"):
        assert Decimal(value) == int(value)
        return zigzag(int(value))
    if kind == "record":
        by_name = {avro_name(k): v for k, v in value.items()}
        return b"".join(encode(f["type"], by_name.get(f["name"])) for f in schema["fields"])
    if kind == "array":
        items = b"".join(encode(schema["items"], v) for v in value)
        return (zigzag(len(value)) + items if value else b"") + zigzag(0)
    raise AssertionError(f"a type this test does not encode: {schema}")


def read_long(data, at):
    shift = raw = 0
    while True:
        byte = data[at]
        at += 1
        raw |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            return (raw >> 1) ^ -(raw & 1), at


def container(data):
    """The header's metadata, its sync marker, and the blocks of a file of the null codec as
    (count, bytes)."""
    assert data[:4] == b"Obj\x01"
    at, meta = 4, {}
    while True:
        count, at = read_long(data, at)
        if count == 0:
            break
        if count < 0:
            count = -count
            _, at = read_long(data, at)
        for _ in range(count):
            parts = []
            for _ in range(2):
                size, at = read_long(data, at)
                parts.append(data[at:at + size])
                at += size
            meta[parts[0].decode()] = parts[1]
    sync = data[at:at + 16]
    at += 16
    blocks = []
    while at < len(data):
        count, at = read_long(data, at)
        size, at = read_long(data, at)
        blocks.append((count, data[at:at + size]))
        at += size
        assert data[at:at + 16] == sync, "a block not ended by the sync marker"
        at += 16
    return meta, sync, blocks


class DirectRecords(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        rng = random.Random(33)
        bad_packed = b"\x12\x3A\x4C"  # P3: a digit nibble of A
        bad_zoned = b"\xF1\xF2\x4B\xC4"  # Z4: a third byte not a digit
        cls.values, records = [], []
        for i in range(REPEAT):
            value, data = {}, b""
            for f in FIELDS:
                if f.children:
                    value[f.name] = []
                    for _ in range(f.occurs):
                        item = {c.name: value_of(rng, c, i) for c in f.children}
                        value[f.name].append(item)
                        data += b"".join(cobdata.encode_value(c, item[c.name]) for c in f.children)
                    continue
                v = value_of(rng, f, i)
                if f.name == "P3" and i % 97 == 5:
                    value[f.name], data = None, data + bad_packed
                elif f.name == "Z4" and i % 89 == 7:
                    value[f.name], data = None, data + bad_zoned
                else:
                    value[f.name], data = v, data + cobdata.encode_value(f, v)
            cls.values.append(value)
            records.append(data)
        assert len(records[0]) == sum(cobdata.field_length(f) * (f.occurs or 1) for f in FIELDS)
        with open(os.path.join(cls.work, "d.cpy"), "w") as f:
            f.write(cobdata.copybook("REC", FIELDS))
        with open(os.path.join(cls.work, "d.dat"), "wb") as f:
            f.write(b"".join(records) * (RECORDS // REPEAT))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def decode(self, *args):
        done = subprocess.run([DECODER, "-i", "d.cpy", *args, "d.dat"], cwd=self.work,
                              capture_output=True)
        self.assertEqual(0, done.returncode, done.stderr)
        return done

    def expected(self, trim, select=None):
        """Each record's value as the rows hold it."""
        def shown(value):
            if isinstance(value, dict):
                return {k: shown(v) for k, v in value.items() if select is None or k in select}
            if isinstance(value, list):
                return [shown(v) for v in value]
            return value.rstrip(" ") if trim and isinstance(value, str) else value
        return [shown(self.values[i % REPEAT]) for i in range(RECORDS)]

    def check_blocks(self, path, values):
        with open(path, "rb") as f:
            meta, _, blocks = container(f.read())
        schema = json.loads(meta["avro.schema"])
        self.assertEqual(b"null", meta.get("avro.codec", b"null"))
        self.assertGreater(len(blocks), 1)  # records of both ways in blocks of their own
        self.assertEqual(RECORDS, sum(count for count, _ in blocks))
        datums = [encode(schema, v) for v in values]
        at = 0
        for b, (count, data) in enumerate(blocks):
            expected = b"".join(datums[at:at + count])
            if data != expected:
                for r in range(at, at + count):  # the first record that differs, for the message
                    size = len(datums[r])
                    self.assertEqual(datums[r], data[:size], f"block {b}, record {r + 1}")
                    data = data[size:]
            self.assertEqual(expected, data, f"block {b}")
            at += count
        return schema

    def test_blocks_trimmed_and_not_with_the_warnings_of_json_lines(self):
        lines = self.decode("-format", "jsonl")
        for trim in ([], ["-trim"]):
            done = self.decode(*trim, "-format", "avro", "-o", "d.avro")
            # The same warnings as the lines, in the same order, though the record's
            # values took the other way.
            self.assertEqual(lines.stderr.decode(), done.stderr.decode())
            self.assertIn("invalid packed decimal", done.stderr.decode())
            self.assertIn("invalid zoned decimal", done.stderr.decode())
            schema = self.check_blocks(os.path.join(self.work, "d.avro"),
                                       self.expected(bool(trim)))
            types = {f["name"]: f["type"] for f in schema["fields"]}
            # The cases meant to be here: nullable decimals and strings, int and long.
            self.assertIn("null", types["P3"])
            self.assertIn("string", types["T_NAME"])
            self.assertTrue(any(t == "int" or t == ["null", "int"] for t in types.values()))
            self.assertTrue(any(t == "long" or t == ["null", "long"] for t in types.values()))

    def test_select(self):
        self.decode("-select", ",".join(["T-SHORT", "P8", "R-AMT", "B8I", "T-END"]),
                    "-format", "avro", "-o", "s.avro")
        _, rows = read_avro(os.path.join(self.work, "s.avro"))
        self.assertEqual(RECORDS, len(rows))
        self.assertEqual(["T_SHORT", "P8", "B8I", "ROW", "T_END"], list(rows[0]))
        for i in (0, REPEAT - 1, 4096, 4097, RECORDS - 1):
            value = self.values[i % REPEAT]
            self.assertEqual(value["P8"], rows[i]["P8"], f"record {i + 1}")
            self.assertEqual(int(value["B8I"]), rows[i]["B8I"], f"record {i + 1}")
            self.assertEqual(value["T-END"], rows[i]["T_END"], f"record {i + 1}")
            self.assertEqual([r["R-AMT"] for r in value["ROW"]],
                             [r["R_AMT"] for r in rows[i]["ROW"]], f"record {i + 1}")

    def test_threads_and_snappy_write_the_same_records(self):
        self.decode("-format", "avro", "-o", "one.avro")
        with open(os.path.join(self.work, "one.avro"), "rb") as f:
            one = f.read()
        sync = container(one)[1]
        self.decode("-format", "avro", "-j", "2", "-o", "two.avro")
        with open(os.path.join(self.work, "two.avro"), "rb") as f:
            two = f.read()
        # The sync marker is random per file: masked, the files are the same.
        self.assertEqual(one.replace(sync, b"\0" * 16), two.replace(container(two)[1], b"\0" * 16))
        self.decode("-format", "avro", "-codec", "snappy", "-o", "snappy.avro")
        _, rows = read_avro(os.path.join(self.work, "one.avro"))
        _, snappy = read_avro(os.path.join(self.work, "snappy.avro"))
        self.assertEqual(RECORDS, len(snappy))
        self.assertEqual(rows, snappy)


    @unittest.skipUnless(HAVE_NODE, NO_NODE)
    def test_parquet_rows_and_threads(self):
        for trim in ([], ["-trim"]):
            self.decode(*trim, "-format", "parquet", "-o", "one.parquet")
            self.decode(*trim, "-format", "parquet", "-j", "2", "-o", "two.parquet")
            with open(os.path.join(self.work, "one.parquet"), "rb") as one, \
                    open(os.path.join(self.work, "two.parquet"), "rb") as two:
                self.assertTrue(one.read() == two.read(), "-j 2 wrote another file")
            rows = read_parquet("duckdb", os.path.join(self.work, "one.parquet"))["rows"]
            expected = self.expected(bool(trim))
            self.assertEqual(len(expected), len(rows))
            for i, (value, row) in enumerate(zip(expected, rows)):
                compare(self, value, row, f"record {i + 1}")


if __name__ == "__main__":
    unittest.main()
