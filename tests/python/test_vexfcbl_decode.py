"""Decoding records in the Python process, against the reviewed golden cases
of vexfcbl-decode (their JSON Lines and warnings) and against records written
by the independent encoder tests/tools/cobdata.py: decode(), decode_columns()
and to_pandas(), every kind of data source, threads, a 1 GB file in bounded
memory, options refused by name."""

import concurrent.futures
import io
import json
import os
import re
import resource
import shutil
import subprocess
import sys
from decimal import Decimal
from pathlib import Path

import pytest

import vexfcbl

SOURCE = Path(os.environ.get("VEX_SOURCE_DIR", Path(__file__).resolve().parents[2]))
GOLDEN = SOURCE / "tests" / "golden"
sys.path.insert(0, str(SOURCE / "tests" / "tools"))
import cobdata  # noqa: E402

# vexfcbl-decode's flags that take a value, and the keyword each becomes.
VALUED = {"-recfm": "recfm", "-lrecl": "lrecl", "-codepage": "codepage", "-dbcs": "dbcs",
          "-byteorder": "byteorder", "-float": "float", "-record": "record", "-j": "jobs",
          "-range": "range", "-when": "when", "-rdw": "rdw", "-rdw-adjust": "rdw_adjust",
          "-skip-bytes": "skip_bytes", "-skip-trailer-bytes": "skip_trailer_bytes",
          "-i": None, "-o": None, "-d": None, "-e": None}
FLAGS = {"-fillers": "fillers", "-trim": "trim", "-strict": "strict", "-raw": "raw"}
PARSE_FLAGS = {"-lenient": "lenient", "-f": "free_format", "-c": "comma"}
# Cases about the program's command line, output files or split plans, and
# the framings that read fields of the record to find its end: the Python API
# takes none of these.
NOT_TAKEN = ("-format", "-splits", "--help", "-length-field", "-length-map", "-variable-occurs",
             "-header", "-trailer", "-header-out", "-schema", "-schema-format", "-sql-arrays",
             "-codec", "-row-group-mb", "-segment", "-child", "-ids", "-select", "-where")


def decode_cases():
    for case in sorted(GOLDEN.iterdir()):
        if (case / "program").is_file() and (case / "program").read_text().strip() == "vexfcbl-decode":
            yield case


def read_case(case):
    """(parse keywords, decoder keywords, data files, output file) of a case's
    command line; None when the case uses what the API does not take."""
    args = (case / "args").read_text().splitlines()
    parse, options, data, output, copybook = {}, {}, [], None, None
    i = 0
    while i < len(args):
        a = args[i]
        if a in NOT_TAKEN or (a in VALUED and i + 1 == len(args)):
            return None
        if a in VALUED:
            value = args[i + 1]
            i += 2
            if a == "-i":
                if copybook is not None:
                    return None  # several copybooks: the program's, not parse()'s
                copybook = value
            elif a == "-o":
                output = value
            elif a == "-d":
                parse.setdefault("copy_dirs", []).append(str(case / "files" / value))
            elif a == "-e":
                parse.setdefault("copy_extensions", []).append(value)
            elif a == "-when":
                options.setdefault("when", []).append(value)
            elif a == "-range":
                start, end, *first = value.split(":")
                options["range"] = tuple([int(start), int(end) if end else None]
                                         + [int(f) for f in first])
            elif a in ("-lrecl", "-j", "-rdw-adjust", "-skip-bytes", "-skip-trailer-bytes"):
                options[VALUED[a]] = int(value)
            else:
                options[VALUED[a]] = value
        elif a in FLAGS:
            options[FLAGS[a]] = True
            i += 1
        elif a in PARSE_FLAGS:
            parse[PARSE_FLAGS[a]] = True
            i += 1
        elif a == "-q":
            i += 1
        elif a.startswith("-"):
            return None  # a misspelt option: the command line's own error
        else:
            data.append(a)
            i += 1
    if copybook is None or not data:
        return None
    # The output file refused: the program's -o, not a decode.
    if output and case.name.startswith("decode-output-") and (case / "status").read_text() != "0\n":
        return None
    if "comma" in options:
        parse["comma"] = options.pop("comma")
    return copybook, parse, options, data, output


CASES = [c for c in decode_cases() if read_case(c) is not None]
SKIPPED = sorted(c.name for c in decode_cases() if read_case(c) is None)


def test_the_skipped_cases_are_the_command_lines_own():
    # Only these cases: split plans, CSV, --help, option syntax, -o refused, no
    # data file, the framings that read fields to find a record's end, schemas
    # and lake files, segments, projections and several copybooks.
    assert SKIPPED == ["decode-codec-refused", "decode-copybooks-clash", "decode-copybooks-two",
                       "decode-csv", "decode-header-avro-refused", "decode-header-csv-refused",
                       "decode-header-out", "decode-header-trailer", "decode-help",
                       "decode-hierarchy", "decode-hierarchy-ids-csv",
                       "decode-length-field-packed", "decode-length-map",
                       "decode-option-missing-value", "decode-option-no-copybook",
                       "decode-option-unknown", "decode-output-folder-missing",
                       "decode-output-is-copied-copybook", "decode-output-is-copybook",
                       "decode-output-is-data", "decode-output-is-data-link",
                       "decode-output-is-folder", "decode-range-length-field",
                       "decode-range-stdin", "decode-raw-csv", "decode-schema-is-copybook",
                       "decode-schema-multi-avsc", "decode-schema-multi-json",
                       "decode-schema-multi-sql", "decode-schema-multi-sql-json",
                       "decode-schema-order-avsc", "decode-schema-order-json",
                       "decode-schema-order-postgres", "decode-schema-order-sql",
                       "decode-schema-unknown-extension", "decode-select-where",
                       "decode-splits-compressed", "decode-splits-rdw-little",
                       "decode-splits-skip-bytes", "decode-splits-v", "decode-trim-fillers-csv",
                       "decode-variable-occurs"]


def expected_lines(case, output):
    text = (case / "out" / output).read_bytes() if output and (case / "out" / output).exists() \
        else (case / "stdout").read_bytes()
    if output and not (case / "out" / output).exists():
        # -o refused or a run that failed: nothing was put in place.
        text = b""
    return [json.loads(line, parse_float=Decimal) for line in text.decode().splitlines()]


def expected_warnings(case, data):
    found = []
    for line in (case / "stderr").read_text().splitlines():
        for name in data:
            m = re.match(r"vexfcbl-decode: (?:error: )?" + re.escape(name) + r": (record .*)$", line)
            if m:
                found.append(m.group(1))
    return found


def run_case(case, source_of=lambda path: str(path)):
    """Decodes the case's files one after another: (records, warnings, error)."""
    copybook, parse, options, data, output = read_case(case)
    files = case / "files"
    book = vexfcbl.parse_file(files / copybook, name=copybook, **parse)
    records, warnings_seen = [], []
    try:
        decoder = book.decoder(**options)
        for name in data:
            try:
                records.extend(decoder.decode(source_of(files / name)))
            finally:
                warnings_seen.extend(str(w) for w in decoder.warnings)
    except (ValueError, vexfcbl.CopybookError) as error:
        return records, warnings_seen, error
    return records, warnings_seen, None


@pytest.mark.parametrize("case", CASES, ids=lambda c: c.name)
def test_decode_equals_the_decoders_lines(case):
    copybook, parse, options, data, output = read_case(case)
    status = int((case / "status").read_text())
    records, seen, error = run_case(case)
    if status == 0:
        assert error is None
        assert records == expected_lines(case, output)
        # Record numbers run on across the program's files, not across decodes.
        if len(data) == 1:
            assert seen == expected_warnings(case, data)
    else:
        assert error is not None, "the program failed; the module must raise"
        if options.get("strict"):
            assert isinstance(error, vexfcbl.DecodeError)
            assert records == [json.loads(l, parse_float=Decimal)
                               for l in (case / "stdout").read_text().splitlines()] or output
            assert f"{error}" in expected_warnings(case, data)[-1]


SOURCES = {
    "bytes": lambda path: path.read_bytes(),
    "memoryview": lambda path: memoryview(bytearray(path.read_bytes())),
    "file": lambda path: open(path, "rb"),
    "small reads": lambda path: io.BufferedReader(open(path, "rb", buffering=0), buffer_size=3),
    "pathlike": lambda path: path,
}


@pytest.mark.parametrize("source", SOURCES)
def test_every_source_gives_the_same_records(source):
    for case in CASES:
        if int((case / "status").read_text()) == 0 and "range" not in read_case(case)[2]:
            assert run_case(case, SOURCES[source])[:2] == run_case(case)[:2], case.name


def flatten(value, prefix, out):
    if isinstance(value, dict):
        for key, member in value.items():
            flatten(member, f"{prefix}.{key}" if prefix else key, out)
    elif isinstance(value, list):
        for i, member in enumerate(value, 1):
            flatten(member, f"{prefix}({i})", out)
    else:
        out[prefix] = value


def column_value(table, column, row, decimals):
    mask = table.masks.get(column)
    if mask is not None and mask[row]:
        return None
    value = table[column][row]
    if column in table.scales:
        return Decimal(int(value)).scaleb(-table.scales[column])
    return value.item() if hasattr(value, "item") else value


@pytest.mark.parametrize("decimals", ["int", "object"])
def test_columns_hold_the_golden_values(decimals):
    for case in CASES:
        copybook, parse, options, data, output = read_case(case)
        if int((case / "status").read_text()) != 0 or len(data) != 1 or options.get("raw"):
            continue
        files = case / "files"
        decoder = vexfcbl.parse_file(files / copybook, **parse).decoder(**options)
        tables = decoder.decode_columns(files / data[0], decimals=decimals)
        rows = {name: 0 for name in tables}
        for record in expected_lines(case, output):
            (name, fields), = record.items()
            table, row = tables[name], rows[name]
            rows[name] += 1
            flat = {}
            flatten(fields, "", flat)
            for column in table:
                got = column_value(table, column, row, decimals)
                want = flat.get(column)
                if want is None or got is None:
                    assert got == want or (isinstance(got, str) and want is None
                                           and got == ""), (case.name, column)
                elif table.kinds[column] == "float":
                    assert got == float(want), (case.name, column)
                elif isinstance(want, Decimal) or table.kinds[column] in ("decimal", "exact"):
                    assert Decimal(got) == Decimal(want) and str(got) == str(want), (case.name, column)
                else:
                    assert got == want, (case.name, column, got, want)
            # Every decoded field has its column.
            assert set(k for k, v in flat.items() if v is not None) <= set(table), case.name
        assert rows == {name: t.length for name, t in tables.items()}, case.name


MULTI = """       01  HDR.
           05  H-TYPE   PIC X.
           05  H-NAME   PIC X(9).
           05  H-COUNT  PIC 9(4) COMP.
       01  ITEM.
           05  I-TYPE   PIC X.
           05  I-QTY    PIC S9(5) COMP-3.
           05  I-PRICE  PIC S9(7)V99 COMP-3.
           05  I-RATE   COMP-2.
"""


def multi_record_file(count):
    """A header, then items, written by cobdata (F records of 17 bytes, the
    longer record's length)."""
    records = [cobdata.text("H", 1) + cobdata.text("STORE 42", 9) + cobdata.binary(count % 10000, 4)
               + b"\x40" * 5]
    expected = [("HDR", {"H-TYPE": "H", "H-NAME": "STORE 42 ", "H-COUNT": count % 10000})]
    for i in range(count):
        qty, price, rate = i - 3, Decimal(i * 1000 + 7).scaleb(-2) * (-1) ** i, 0.5 * i
        records.append(cobdata.text("I", 1) + cobdata.packed(qty, 5) + cobdata.packed(price, 9, 2)
                       + cobdata.ibm_float(rate, long=True))
        expected.append(("ITEM", {"I-TYPE": "I", "I-QTY": qty, "I-PRICE": price, "I-RATE": rate}))
    return b"".join(r.ljust(18, b"\x40") for r in records), expected


def test_to_pandas_gives_one_frame_per_record_type_with_exact_decimals():
    data, expected = multi_record_file(50)
    decoder = vexfcbl.parse(MULTI).decoder(lrecl=18, when=["H-TYPE=H:HDR", "H-TYPE=I:ITEM"])
    frames = decoder.to_pandas(data)
    assert sorted(frames) == ["HDR", "ITEM"]
    items = [fields for name, fields in expected if name == "ITEM"]
    frame = frames["ITEM"]
    assert list(frame.columns) == ["I-TYPE", "I-QTY", "I-PRICE", "I-RATE"]
    assert str(frame["I-QTY"].dtype) == "int64" and str(frame["I-RATE"].dtype) == "float64"
    assert frame["I-PRICE"].tolist() == [f["I-PRICE"] for f in items]
    assert all(isinstance(p, Decimal) for p in frame["I-PRICE"])
    assert frame["I-QTY"].tolist() == [f["I-QTY"] for f in items]
    assert frame["I-RATE"].tolist() == [f["I-RATE"] for f in items]
    assert frames["HDR"].to_dict("records") == [expected[0][1]]
    # The scaled integers of decode_columns are the same values.
    columns = decoder.decode_columns(data)["ITEM"]
    assert columns.scales == {"I-PRICE": 2} and str(columns["I-PRICE"].dtype) == "int64"
    assert [Decimal(int(v)).scaleb(-2) for v in columns["I-PRICE"]] == [f["I-PRICE"] for f in items]


def test_threads_decoding_at_once_equal_one():
    data, _ = multi_record_file(3000)
    book = vexfcbl.parse(MULTI)
    options = dict(lrecl=18, when=["H-TYPE=H:HDR", "H-TYPE=I:ITEM"])
    alone = list(book.decoder(**options).decode(data))

    def run(k):
        decoder = book.decoder(**options)
        if k % 2:
            return list(decoder.decode(data))
        return [r for batch in decoder.iter_columns(io.BytesIO(data), batch_size=97)
                for r in [batch["ITEM"]["I-PRICE"].tolist()]]

    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        results = list(pool.map(run, range(16)))
    prices = [int(r["ITEM"]["I-PRICE"].scaleb(2)) for r in alone if "ITEM" in r]
    for k, result in enumerate(results):
        if k % 2:
            assert result == alone
        else:
            assert [p for part in result for p in part] == prices


def test_a_decode_left_early_stops_its_thread():
    data, _ = multi_record_file(20000)
    decoder = vexfcbl.parse(MULTI).decoder(lrecl=18, record="ITEM")
    for n, _ in enumerate(decoder.decode(data)):
        if n == 10:
            break
    assert len(list(decoder.decode(data))) == 20001


def test_file_objects_that_fail():
    decoder = vexfcbl.parse(MULTI).decoder(lrecl=18)
    with pytest.raises(TypeError, match="binary mode"):
        list(decoder.decode(io.StringIO("abc")))

    class Broken(io.RawIOBase):
        def read(self, n=-1):
            raise OSError("the tape is stuck")

    with pytest.raises(OSError, match="tape is stuck"):
        list(decoder.decode(Broken()))
    with pytest.raises(vexfcbl.DecodeError, match="nowhere.dat"):
        list(decoder.decode("/nowhere/nowhere.dat"))
    with pytest.raises(TypeError, match="data must be"):
        list(decoder.decode(42))


@pytest.mark.parametrize("options, error, words", [
    (dict(recfm="X"), ValueError, ["recfm", "F, V, VB, L"]),
    (dict(lrecl=0), ValueError, ["lrecl", "from 1"]),
    (dict(lrecl="20"), TypeError, ["lrecl", "int"]),
    (dict(codepage="IBM-1252"), ValueError, ["codepage", "IBM-1252", "-codepage help"]),
    (dict(dbcs="IBM037"), ValueError, ["dbcs", "IBM037", "-dbcs help"]),
    (dict(byteorder="middle"), ValueError, ["byteorder", "little"]),
    (dict(float="vax"), ValueError, ["float", "ieee"]),
    (dict(when=["H-TYPE"]), ValueError, ["when", "FIELD=VALUE:NAME"]),
    (dict(when=["NOPE=1:HDR"]), ValueError, ["NOPE"]),
    (dict(record="NOPE"), ValueError, ["NOPE"]),
    (dict(jobs=65), ValueError, ["jobs"]),
    (dict(range=(9, 3)), ValueError, ["range", "beyond"]),
    (dict(strict="yes"), TypeError, ["strict", "True or False"]),
    (dict(recfn="V"), TypeError, ["recfn"]),
    (dict(format="csv"), TypeError, ["format"]),
])
def test_bad_options_are_refused_by_name(options, error, words):
    with pytest.raises(error) as raised:
        vexfcbl.parse(MULTI).decoder(**options)
    for word in words:
        assert word in str(raised.value)
    assert "Usage" not in str(raised.value)


def test_decoder_help_and_stub_list_every_keyword():
    import ast
    doc = vexfcbl.Copybook.decoder.__doc__
    names = [name for name, _, _ in vexfcbl._vexfcbl.decoder_keywords()]
    for name in names:
        assert f"    {name} (" in doc
    tree = ast.parse((Path(vexfcbl.__file__).parent / "__init__.pyi").read_text())
    stub = next(n for n in ast.walk(tree) if isinstance(n, ast.FunctionDef) and n.name == "decoder")
    assert [a.arg for a in stub.args.kwonlyargs] == ["warn"] + names


# A 1 GB file through iter_columns: the process's peak memory stays far
# below the file's size (no copy of the file, no whole output).
GIGABYTE = 1 << 30
MEMORY_SCRIPT = """
import resource, sys, vexfcbl
book = vexfcbl.parse(open(sys.argv[1]).read())
decoder = book.decoder(lrecl=18, when=["H-TYPE=H:HDR", "H-TYPE=I:ITEM"])
rows = 0
total = 0
with open(sys.argv[2], "rb") as data:
    for batch in decoder.iter_columns(data, batch_size=100000):
        rows += batch["ITEM"].length + batch["HDR"].length
        total += int(batch["ITEM"]["I-QTY"].sum())
print(rows, total, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024)
"""


def test_a_gigabyte_in_bounded_memory(tmp_path):
    if shutil.disk_usage(tmp_path).free < 3 * GIGABYTE:
        pytest.skip("less than 3 GB free for the 1 GB file")
    block, expected = multi_record_file(58253)  # about 1 MB of 18-byte records
    repeats = GIGABYTE // len(block)
    path = tmp_path / "big.dat"
    with open(path, "wb") as out:
        for _ in range(repeats):
            out.write(block)
    (tmp_path / "multi.cpy").write_text(MULTI)
    run = subprocess.run([sys.executable, "-c", MEMORY_SCRIPT, str(tmp_path / "multi.cpy"), str(path)],
                         capture_output=True, text=True, check=True, timeout=900)
    rows, total, peak = map(int, run.stdout.split())
    assert rows == repeats * len(expected)
    assert total == repeats * sum(f["I-QTY"] for name, f in expected if name == "ITEM")
    assert peak < 400 << 20, f"peak memory {peak >> 20} MB for a {path.stat().st_size >> 20} MB file"
