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

import numpy
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
          "-length-field": "length_field", "-length-map": "length_map", "-header": "header",
          "-trailer": "trailer", "-segment": "segment", "-child": "child", "-select": "select",
          "-where": "where", "-i": None, "-o": None, "-d": None, "-e": None}
# The options the program takes once per value: a list keyword.
LISTED = ("-when", "-child", "-select", "-where")
FLAGS = {"-fillers": "fillers", "-trim": "trim", "-strict": "strict", "-raw": "raw",
         "-variable-occurs": "variable_occurs", "-ids": "ids"}
PARSE_FLAGS = {"-lenient": "lenient", "-f": "free_format", "-c": "comma"}
# Cases about the program's command line, output files, schemas or split
# plans: the Python API takes none of these (it gives records, not files).
NOT_TAKEN = ("-format", "-splits", "--help", "-header-out", "-schema", "-schema-format",
             "-sql-arrays", "-codec", "-row-group-mb")


def decode_cases():
    for case in sorted(GOLDEN.iterdir()):
        if (case / "program").is_file() and (case / "program").read_text().strip() == "vexfcbl-decode":
            yield case


def read_case(case):
    """(parse keywords, decoder keywords, data files, output file) of a case's
    command line; None when the case uses what the API does not take."""
    args = (case / "args").read_text().splitlines()
    parse, options, data, output, copybooks = {}, {}, [], None, []
    i = 0
    while i < len(args):
        a = args[i]
        if a in NOT_TAKEN or (a in VALUED and i + 1 == len(args)):
            return None
        if a in VALUED:
            value = args[i + 1]
            i += 2
            if a == "-i":
                copybooks.append(value)
            elif a == "-o":
                output = value
            elif a == "-d":
                parse.setdefault("copy_dirs", []).append(str(case / "files" / value))
            elif a == "-e":
                parse.setdefault("copy_extensions", []).append(value)
            elif a in LISTED:
                options.setdefault(VALUED[a], []).append(value)
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
    if not copybooks or not data:
        return None
    # The output file refused: the program's -o, not a decode.
    if output and case.name.startswith("decode-output-") and (case / "status").read_text() != "0\n":
        return None
    if "comma" in options:
        parse["comma"] = options.pop("comma")
    return copybooks, parse, options, data, output


CASES = [c for c in decode_cases() if read_case(c) is not None]
SKIPPED = sorted(c.name for c in decode_cases() if read_case(c) is None)


def test_the_skipped_cases_are_the_command_lines_own():
    # Only these cases: split plans, CSV, --help, option syntax, -o refused, no
    # data file, schemas and lake files, -header-out's second file.
    assert SKIPPED == ["decode-codec-refused", "decode-csv", "decode-diagnose-odo-count-text",
                       "decode-header-csv-refused", "decode-header-out",
                       "decode-header-trailer-schema-avsc", "decode-help",
                       "decode-hierarchy-ids-csv", "decode-hierarchy-ids-schema-avsc",
                       "decode-hierarchy-schema-json", "decode-hierarchy-schema-sql",
                       "decode-option-missing-value",
                       "decode-option-no-copybook", "decode-option-unknown",
                       "decode-output-folder-missing", "decode-output-is-copied-copybook",
                       "decode-output-is-copybook", "decode-output-is-data",
                       "decode-output-is-data-link", "decode-output-is-folder",
                       "decode-range-stdin", "decode-raw-csv", "decode-schema-is-copybook",
                       "decode-schema-multi-avsc", "decode-schema-multi-json",
                       "decode-schema-multi-sql", "decode-schema-multi-sql-json",
                       "decode-schema-order-avsc", "decode-schema-order-json",
                       "decode-schema-order-postgres", "decode-schema-order-sql",
                       "decode-schema-unknown-extension", "decode-splits-compressed",
                       "decode-splits-rdw-little", "decode-splits-skip-bytes", "decode-splits-v",
                       "decode-trim-fillers-csv"]


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
    copybooks, parse, options, data, output = read_case(case)
    files = case / "files"
    books = [vexfcbl.parse_file(files / name, name=name, **parse) for name in copybooks]
    records, warnings_seen = [], []
    try:
        decoder = books[0].decoder(also=books[1:], **options)
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
    copybooks, parse, options, data, output = read_case(case)
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
        copybooks, parse, options, data, output = read_case(case)
        if int((case / "status").read_text()) != 0 or len(data) != 1 or options.get("raw") \
                or any(options.get(o) for o in ("header", "trailer", "ids", "child")):
            continue
        files = case / "files"
        books = [vexfcbl.parse_file(files / name, **parse) for name in copybooks]
        decoder = books[0].decoder(also=books[1:], **options)
        tables = decoder.decode_columns(files / data[0], decimals=decimals)
        rows = {name: 0 for name in tables}
        for record in expected_lines(case, output):
            (name, fields), = record.items()
            table, row = tables[name], rows[name]
            rows[name] += 1
            flat = {}
            # A record that is one elementary item is its value: its one column.
            flatten(fields, "" if isinstance(fields, (dict, list)) else name, flat)
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


def test_columns_of_a_selection_are_the_selected_fields_only():
    data, expected = multi_record_file(40)
    decoder = vexfcbl.parse(MULTI).decoder(lrecl=18, when=["H-TYPE=H:HDR", "H-TYPE=I:ITEM"],
                                           select="H-NAME,I-PRICE,I-QTY")
    tables = decoder.decode_columns(data, decimals="object")
    assert list(tables["HDR"]) == ["H-NAME"]
    assert list(tables["ITEM"]) == ["I-QTY", "I-PRICE"]
    items = [fields for name, fields in expected if name == "ITEM"]
    assert list(tables["ITEM"]["I-PRICE"]) == [f["I-PRICE"] for f in items]
    assert list(tables["ITEM"]["I-QTY"]) == [f["I-QTY"] for f in items]
    assert list(tables["HDR"]["H-NAME"]) == ["STORE 42 "]


VARYING = """       01  VISIT.
           05  V-N       PIC 9.
           05  V-CITY    PIC N(6) USAGE NATIONAL.
           05  V-AMT     PIC S9(5)V99 COMP-3.
           05  V-STOP    OCCURS 0 TO 4 DEPENDING ON V-N.
               10  V-S-NAME  PIC X(3).
               10  V-S-DAYS  PIC S9(3) COMP-3.
"""


@pytest.mark.parametrize("batch_size", [1, 3, 1000])
def test_columns_of_records_whose_shape_changes_from_record_to_record(batch_size):
    # The columns of a fixed record are read at the first record's places;
    # here the table's count changes the record's shape (first the longest,
    # then shorter, longer and the same again), and the cities need more
    # than one byte of UTF-8 (and, for the emoji, two UTF-16 units).
    visits = [(4, "Zürich", "-12.34"), (0, "Åre", "0.05"), (2, "Ωmega", "99999.99"),
              (4, "Köln", "-0.01"), (1, "😀 ok", "7.00"), (4, "Ünye", "1.50"), (3, "€", "-3.00")]
    records, expected = [], []
    for n, city, amount in visits:
        stops = [(f"S{i}{n}", i * 7 - n) for i in range(n)]
        records.append(cobdata.zoned(n, 1, signed=False) + cobdata.national(city, 6)
                       + cobdata.packed(Decimal(amount), 7, 2)
                       + b"".join(cobdata.text(name, 3) + cobdata.packed(days, 3)
                                  for name, days in stops))
        # National text is padded to 6 UTF-16 units: the emoji takes two.
        row = {"V-N": n, "V-CITY": city.ljust(6 - (city == "😀 ok")), "V-AMT": Decimal(amount)}
        for i, (name, days) in enumerate(stops, 1):
            row[f"V-STOP({i}).V-S-NAME"], row[f"V-STOP({i}).V-S-DAYS"] = name, days
        expected.append(row)
    decoder = vexfcbl.parse(VARYING, lenient=True).decoder(recfm="V")
    got, rows = [], 0
    for batch in decoder.iter_columns(cobdata.variable(records), batch_size=batch_size):
        table = batch["VISIT"]
        for row in range(table.length):
            got.append({column: value for column in table
                        if (value := column_value(table, column, row, "int")) is not None})
        rows += table.length
    assert rows == len(visits)
    assert got == expected


def test_batches_kept_hold_their_values_while_later_batches_reuse_freed_memory():
    # The arrays of the batches let go lend their memory to later batches'
    # arrays: the batches kept must still hold their own records.
    data, expected = multi_record_file(2000)
    items = [fields for name, fields in expected if name == "ITEM"]
    decoder = vexfcbl.parse(MULTI).decoder(lrecl=18, when=["H-TYPE=H:HDR", "H-TYPE=I:ITEM"])
    kept = [batch["ITEM"] for n, batch in enumerate(decoder.iter_columns(data, batch_size=150))
            if n % 3 == 1]
    first = 1 * 150 - 1  # the header is the first batch's first row
    for n, table in enumerate(kept):
        start = first + n * 450
        want = items[start:start + 150]
        assert table.length == len(want)
        assert table["I-QTY"].tolist() == [f["I-QTY"] for f in want]
        assert [Decimal(int(v)).scaleb(-2) for v in table["I-PRICE"]] == [f["I-PRICE"] for f in want]
        assert table["I-RATE"].tolist() == [f["I-RATE"] for f in want]
        assert table["I-TYPE"].tolist() == ["I"] * len(want)



LEDGER = """       01  LEDGER.
           05  L-ID     PIC 9(6).
           05  L-NAME   PIC X(10).
           05  L-AMT    PIC S9(7)V99 COMP-3.
           05  L-QTY    PIC S9(4) COMP.
           05  L-RATE   PIC S9(3)V99.
           05  L-HUND   PIC S9(3)PP COMP-3.
           05  L-DAY    OCCURS 3.
               10  L-D-N  PIC 99.
               10  L-D-T  PIC X(2).
           05  L-NOTE   PIC X(20).
"""
LEDGER_NAMES = ["Zürich", "Café au", "", "naïve ¬x", "PLAIN", "  lead", "ÄÖÜ ß é"]
# Non-ASCII characters first, last, and past the 16th byte.
LEDGER_NOTES = ["é" + "x" * 16, "é" + "y" * 19, "A" * 16 + "ü", "B" * 19 + "ß", "0123456789ABCDEFGHIJ", "short"]


def ledger_records(count, bad_amounts=(), bad_rates=()):
    """Records of LEDGER written by cobdata, and each one's expected columns
    (None where the bytes are no valid value: bad packed or zoned bytes)."""
    records, expected = [], []
    for i in range(count):
        name = LEDGER_NAMES[i % len(LEDGER_NAMES)]
        amount = Decimal((i * 7919) % 10**9 - 5 * 10**8).scaleb(-2)
        qty, rate, hund = (i * 31) % 19999 - 9999, Decimal(i % 99999 - 49999).scaleb(-2), (i % 1999) - 999
        days = [((i + k) % 100, "D%d" % ((i + k) % 10)) for k in range(3)]
        row = {"L-ID": i, "L-NAME": name.ljust(10), "L-AMT": amount, "L-QTY": qty, "L-RATE": rate,
               "L-HUND": hund * 100}
        amount_bytes = cobdata.packed(amount, 9, 2)
        if i in bad_amounts:  # a digit nibble of A
            amount_bytes = b"\x1a" + amount_bytes[1:]
            row["L-AMT"] = None
        rate_bytes = cobdata.zoned(rate, 5, 2)
        if i in bad_rates:  # a blank among the digits
            rate_bytes = b"\x40" + rate_bytes[1:]
            row["L-RATE"] = None
        record = (cobdata.zoned(i, 6, signed=False) + cobdata.text(name, 10) + amount_bytes
                  + cobdata.binary(qty, 4) + rate_bytes + cobdata.packed(hund, 3))
        for k, (n, t) in enumerate(days, 1):
            record += cobdata.zoned(n, 2, signed=False) + cobdata.text(t, 2)
            row[f"L-DAY({k}).L-D-N"], row[f"L-DAY({k}).L-D-T"] = n, t
        note = LEDGER_NOTES[i % len(LEDGER_NOTES)]
        record += cobdata.text(note, 20)
        row["L-NOTE"] = note.ljust(20)
        records.append(record)
        expected.append(row)
    return records, expected


def ledger_rows(tables):
    rows = []
    for table in tables:
        table = table["LEDGER"]
        for row in range(table.length):
            rows.append({column: column_value(table, column, row, "int") for column in table})
    return rows


@pytest.mark.parametrize("options,batch_size", [
    ({}, 0), ({}, 777), (dict(trim=True), 4096), (dict(jobs=2), 1000), (dict(recfm="V"), 5000),
    (dict(select=["L-AMT", "L-DAY", "L-NOTE"]), 3000)])
def test_columns_of_many_records_with_bad_values_among_them(options, batch_size):
    # Enough records for many of the decoder's batches of values, among them
    # records whose values are not all valid (null, and a warning) and, in V
    # records, one longer than the layout (a warning only): every value
    # lands in its row, whichever way the records come to the columns.
    count = 13000
    bad_amounts, bad_rates = {5, 4100, 4101, 9000, 12999}, {4200, 8191, 8192}
    records, expected = ledger_records(count, bad_amounts, bad_rates)
    if options.get("recfm") == "V":
        records[6000] += b"\x00" * 3
        data = cobdata.variable(records)
    else:
        data = b"".join(records)
    if options.get("trim"):
        for row in expected:
            row["L-NAME"], row["L-NOTE"] = row["L-NAME"].rstrip(" "), row["L-NOTE"].rstrip(" ")
    if options.get("select"):  # a group selected whole: each occurrence's fields
        expected = [{k: v for k, v in row.items()
                     if any(k == f or k.startswith(f + "(") for f in options["select"])}
                    for row in expected]
        bad_rates = set()
    decoder = vexfcbl.parse(LEDGER).decoder(**options)
    if batch_size == 0:
        tables = [decoder.decode_columns(data)]
    else:
        tables = list(decoder.iter_columns(data, batch_size=batch_size))
        assert [t["LEDGER"].length for t in tables[:-1]] == [batch_size] * (len(tables) - 1)
    rows = ledger_rows(tables)
    assert len(rows) == count
    for n, (got, want) in enumerate(zip(rows, expected)):
        assert got == want, n
    longest = max(len(row["L-NOTE"]) for row in expected)
    assert all(t["LEDGER"]["L-NOTE"].dtype == numpy.dtype(f"<U{longest}") for t in tables)
    bad = sorted(bad_amounts | bad_rates | ({6000} if options.get("recfm") == "V" else set()))
    assert sorted({w.record for w in decoder.warnings}) == [i + 1 for i in bad]


def test_strict_columns_stop_before_a_record_longer_than_the_layout():
    # The 6001st record of 9000 is longer than the layout: with strict=True
    # the columns hold the 6000 records before it, then DecodeError.
    records, expected = ledger_records(9000)
    records[6000] += b"\x40"
    decoder = vexfcbl.parse(LEDGER).decoder(recfm="V", strict=True)
    tables = []
    with pytest.raises(vexfcbl.DecodeError):
        for batch in decoder.iter_columns(cobdata.variable(records), batch_size=2500):
            tables.append(batch)
    rows = ledger_rows(tables)
    assert len(rows) == 6000
    assert rows == expected[:6000]
    assert [w.record for w in decoder.warnings] == [6001]

MEMO = """       01  MEMO.
           05  M-CODE   PIC X(8).
           05  M-CITY   PIC N(5) USAGE NATIONAL.
"""
# With a DISPLAY-1 page: a PIC G field and a PIC X holding mixed text.
MEMO_DOUBLE = MEMO + """           05  M-KANJI  PIC G(3) USAGE DISPLAY-1.
           05  M-MIX    PIC X(10).
"""


def single_byte_text(value, length, page):
    """PIC X in `page`; IBM1047 (no Python codec) by the iconv program."""
    if page != "IBM1047":
        return cobdata.text(value, length, page)
    raw = subprocess.run(["iconv", "-f", "UTF-8", "-t", page], input=value.encode(),
                         capture_output=True, check=True).stdout
    return raw + b"\x40" * (length - len(raw))


@pytest.mark.parametrize("page", ["IBM037", "IBM1047", "ASCII"])
@pytest.mark.parametrize("trim", [False, True])
def test_text_columns_hold_each_pages_characters_as_wide_as_their_longest_value(page, trim):
    # Each value is decoded into its row of the array: a row is as wide as
    # the field's characters while the batch is read, the array as wide as
    # the batch's longest value (as numpy makes it from the values).
    ebcdic = page != "ASCII"
    codes = (["Ab", "", "éü¬[]", "12345678", "x y", "ÄÖ ß", "{}\\"] if ebcdic
             else ["Ab", "", "a[]{}~", "12345678", "x y", "#$ %", "|^"])
    cities = ["😀abc", "Ωmega", "Zürch", "€€€€€"]  # N(5) filled: 4, 5, 5, 5 characters
    kanji = ["日本語", "東京都"]
    # Mixed text in 10 bytes: shift-out and shift-in are no characters of
    # the text, the blanks after them are (8, 5 and 6 bytes used).
    mixes = [(["A", "日本", "B"], "A日本B  "), (["plain"], "plain     "),
             (["", "漢字", ""], "漢字    ")]
    double = page == "IBM037"
    records, expected = [], []
    for i in range(30):
        code, city = codes[i % len(codes)], cities[i % len(cities)]
        records.append(single_byte_text(code, 8, page) + cobdata.national(city, 5))
        row = {"M-CODE": code.rstrip(" ") if trim else code.ljust(8), "M-CITY": city}
        if double:
            parts, mixed = mixes[i % len(mixes)]
            records[-1] += cobdata.dbcs(kanji[i % 2], 3, "IBM939") + cobdata.mixed(
                parts, 10, page, "IBM939")
            row.update({"M-KANJI": kanji[i % 2], "M-MIX": mixed.rstrip(" ") if trim else mixed})
        expected.append(row)
    options = dict(codepage=page, trim=trim, lrecl=len(records[0]))
    if double:
        options["dbcs"] = "IBM939"
    decoder = vexfcbl.parse(MEMO_DOUBLE if double else MEMO, lenient=True).decoder(**options)
    data = b"".join(records)

    def check(table, rows):
        assert table.length == len(rows)
        for column in rows[0]:
            want = numpy.array([row[column] for row in rows])
            assert table[column].dtype == want.dtype, (column, table[column].dtype, want.dtype)
            assert table[column].tolist() == want.tolist(), column
            assert column not in table.masks

    check(decoder.decode_columns(data)["MEMO"], expected)
    # Batches let go lend their blocks to later batches: those kept hold their own.
    kept = [batch["MEMO"] for n, batch in enumerate(decoder.iter_columns(data, batch_size=4))
            if n % 2 == 1]
    for n, table in enumerate(kept):
        check(table, expected[4 + 8 * n:8 + 8 * n])


def test_a_batch_size_far_above_the_records_asks_no_room_for_rows_that_never_come():
    # Three records of a 32000-character field, in batches of up to 5 * 10^7
    # rows: rows of that width (4 bytes a character) for the batch size asked
    # would be terabytes.
    book = "       01  MEMO.\n           05  M-ID    PIC 9(4).\n           05  M-TEXT  PIC X(32000).\n"
    texts = ["first", "", "the third one"]
    data = b"".join(cobdata.zoned(i, 4, signed=False) + cobdata.text(text, 32000)
                    for i, text in enumerate(texts))
    decoder = vexfcbl.parse(book).decoder(trim=True)
    batches = list(decoder.iter_columns(data, batch_size=5 * 10**7))
    assert len(batches) == 1
    table = batches[0]["MEMO"]
    assert table["M-ID"].tolist() == [0, 1, 2]
    assert table["M-TEXT"].tolist() == texts
    assert table["M-TEXT"].dtype == numpy.dtype("<U13")


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


ENDS = """       01  BATCH-HEAD.
           05  BH-LEN    PIC S9(3) COMP-3.
           05  BH-NAME   PIC X(8).
       01  BATCH-TAIL.
           05  BT-LEN    PIC S9(3) COMP-3.
           05  BT-COUNT  PIC S9(4) COMP.
           05  BT-TOTAL  PIC S9(9)V99 COMP-3.
"""
BODY = """       01  ENTRY.
           05  E-LEN     PIC S9(3) COMP-3.
           05  E-AMT     PIC S9(5)V99 COMP-3.
           05  E-N       PIC 9(2).
           05  E-NOTE    PIC X(4) OCCURS 0 TO 5 DEPENDING ON E-N.
"""


def test_two_copybooks_with_a_header_a_trailer_and_lengths_from_a_field():
    # cobdata writes a header, records as long as their packed length field
    # says (the field counts the bytes after itself; the header and the
    # trailer begin with one too), and a trailer whose count and total the
    # body must match.
    notes = [[], ["A"], ["RENT", "DUE"], ["COFF", "EE", "AND", "CAKE", "!"]]
    amounts = [Decimal("0.01"), Decimal("-250.00"), Decimal("99999.99"), Decimal("-0.50")]
    body = [cobdata.packed(6 + 4 * len(n), 3) + cobdata.packed(a, 7, 2)
            + cobdata.zoned(len(n), 2, signed=False) + b"".join(cobdata.text(t, 4) for t in n)
            for n, a in zip(notes, amounts)]
    data = (cobdata.packed(8, 3) + cobdata.text("MONTHLY", 8) + b"".join(body)
            + cobdata.packed(8, 3) + cobdata.binary(len(body), 4)
            + cobdata.packed(sum(amounts), 11, 2))
    ends, entries = vexfcbl.parse(ENDS, name="ends.cpy"), vexfcbl.parse(BODY, name="body.cpy")
    options = dict(length_field="E-LEN+2", record="ENTRY", header="BATCH-HEAD",
                   trailer="BATCH-TAIL")
    decoder = entries.decoder(also=[ends], **options)
    records = list(decoder.decode(data))
    assert decoder.warnings == []
    assert records[0] == {"BATCH-HEAD": {"BH-LEN": 8, "BH-NAME": "MONTHLY "}}
    assert records[-1] == {"BATCH-TAIL": {"BT-LEN": 8, "BT-COUNT": 4,
                                          "BT-TOTAL": sum(amounts)}}
    assert [r["ENTRY"] for r in records[1:-1]] == [
        {"E-LEN": 6 + 4 * len(n), "E-AMT": a, "E-N": len(n), "E-NOTE": [t.ljust(4) for t in n]}
        for n, a in zip(notes, amounts)]
    # The copybooks' order does not matter; a record name twice is refused
    # with both copybooks named.
    assert list(ends.decoder(also=[entries], **options).decode(data)) == records
    with pytest.raises(ValueError, match="record ENTRY is declared in body.cpy and in "
                                         "body.cpy: records of several copybooks"):
        entries.decoder(also=[entries])
    with pytest.raises(TypeError, match="also must"):
        entries.decoder(also=ends)
    with pytest.raises(ValueError, match="columns cannot be made with header"):
        decoder.decode_columns(data)


SEGMENT_BOOKS = ["""       01  CUST.
           05  C-SEG    PIC X.
           05  C-ID     PIC 9(4).
           05  C-NAME   PIC X(5).
""", """       01  ACCT.
           05  A-SEG    PIC X.
           05  A-BAL    PIC S9(5)V99 COMP-3.
           05  FILLER   PIC X(5).
"""]


def test_segments_nest_or_carry_ids_and_filter_before_decoding():
    rows = [("C", 1, "ANNA"), ("A", "12.50"), ("A", "-3.00"), ("C", 2, "BO"), ("A", "12.5"),
            ("A", "7.00"), ("C", 3, "CY")]
    data = b""
    for row in rows:
        if row[0] == "C":
            data += cobdata.text("C", 1) + cobdata.zoned(row[1], 4, signed=False) \
                + cobdata.text(row[2], 5)
        else:
            data += cobdata.text("A", 1) + cobdata.packed(Decimal(row[1]), 7, 2) + b"\x40" * 5
    cust, acct = (vexfcbl.parse(text) for text in SEGMENT_BOOKS)
    segments = dict(also=[acct], segment="C-SEG", when=[("C", "CUST"), "A:ACCT"],
                    child=[("ACCT", "CUST")])
    nested = list(cust.decoder(**segments).decode(data))

    def acct_of(value):
        return {"A-SEG": "A", "A-BAL": Decimal(value).quantize(Decimal("0.01"))}

    assert nested == [
        {"CUST": {"C-SEG": "C", "C-ID": 1, "C-NAME": "ANNA ",
                  "ACCT": [acct_of("12.50"), acct_of("-3.00")]}},
        {"CUST": {"C-SEG": "C", "C-ID": 2, "C-NAME": "BO   ",
                  "ACCT": [acct_of("12.5"), acct_of("7")]}},
        {"CUST": {"C-SEG": "C", "C-ID": 3, "C-NAME": "CY   ", "ACCT": []}}]
    flat = list(cust.decoder(ids=True, select="C-NAME,A-BAL", where=[("A-BAL", [Decimal("12.5")])],
                             **segments).decode(data))
    assert flat == [
        {"_record": 1, "_segment": "CUST", "_parent": None, "CUST": {"C-NAME": "ANNA "}},
        {"_record": 2, "_segment": "ACCT", "_parent": 1, "ACCT": {"A-BAL": Decimal("12.50")}},
        {"_record": 4, "_segment": "CUST", "_parent": None, "CUST": {"C-NAME": "BO   "}},
        {"_record": 5, "_segment": "ACCT", "_parent": 4, "ACCT": {"A-BAL": Decimal("12.50")}},
        {"_record": 7, "_segment": "CUST", "_parent": None, "CUST": {"C-NAME": "CY   "}}]


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
    # The framings, segments and projections: the program's reasons, the
    # options named as the keywords are.
    (dict(length_map="H=9"), ValueError,
     ["length_map needs length_field NAME: the field whose value it maps"]),
    (dict(length_field="I-QTY", recfm="V"), ValueError,
     ["length_field frames records by their own content: use it with recfm F, not with "
      "descriptor words"]),
    (dict(length_field="I-QTY", variable_occurs=True), ValueError,
     ["length_field and variable_occurs cannot be combined: a record has one length"]),
    (dict(lrecl=18, variable_occurs=True), ValueError,
     ["lrecl cannot be combined with variable_occurs: each record's length is its own"]),
    (dict(length_field="I-QTY", range=(0, 10)), ValueError,
     ["range cannot be used: length_field records are found only by reading each one's "
      "length from the start of the file"]),
    (dict(length_field="I-QTY+"), ValueError, ["length_field 'I-QTY+'", "NAME+N or NAME-N"]),
    (dict(length_field="NOPE"), ValueError, ["NOPE"]),
    (dict(length_field="I-QTY", length_map="H=0"), ValueError,
     ["length_map 'H=0': give VALUE=LENGTH pairs"]),
    (dict(length_map={"H": 0}, length_field="I-QTY"), ValueError, ["length_map", "from 1"]),
    (dict(header="NOPE"), ValueError, ["header NOPE: no such record"]),
    (dict(trailer=7), TypeError, ["trailer", "str"]),
    (dict(header_out="ends.jsonl", header="HDR"), TypeError,
     ["header_out", "each under its own record name"]),
    (dict(child=["ITEM"]), ValueError, ["child 'ITEM': give SEGMENT:PARENT"]),
    (dict(child=[("ITEM", "HDR", "X")]), ValueError, ["child", "(SEGMENT, PARENT)"]),
    (dict(child=["ITEM:HDR"], when=["H-TYPE=H:HDR", "H-TYPE=I:ITEM"], raw=True), ValueError,
     ["child nests records, which raw cannot carry: give ids for flat records"]),
    (dict(child=["ITEM:NOPE"], when=["H-TYPE=H:HDR", "H-TYPE=I:ITEM"]), ValueError, ["NOPE"]),
    (dict(select="H-TYPE,,I-QTY"), ValueError, ["select 'H-TYPE,,I-QTY'", "commas"]),
    (dict(select=["NOPE"]), ValueError, ["NOPE"]),
    (dict(where=["H-TYPE"]), ValueError, ["where 'H-TYPE': give FIELD=VALUE"]),
    (dict(where=[("H-TYPE", 1.5)]), TypeError, ["where", "Decimal"]),
    (dict(when=["I:ITEM"]), ValueError, ["segment"]),
    (dict(ids="yes"), TypeError, ["ids", "True or False"]),
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
    assert [a.arg for a in stub.args.kwonlyargs] == ["warn", "also"] + names


# A 1 GB file through iter_columns: the process's peak memory stays far
# below the file's size (no copy of the file, no whole output).
GIGABYTE = 1 << 30
# The scripts' own peak of resident memory: VmHWM, not ru_maxrss, which
# starts from the resident memory of the test process the script was forked
# from (kept across exec), however much this one uses.
PEAK = """
def peak():
    for line in open("/proc/self/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) * 1024
"""
MEMORY_SCRIPT = PEAK + """
import sys, vexfcbl
book = vexfcbl.parse(open(sys.argv[1]).read())
decoder = book.decoder(lrecl=18, when=["H-TYPE=H:HDR", "H-TYPE=I:ITEM"])
rows = 0
total = 0
with open(sys.argv[2], "rb") as data:
    for batch in decoder.iter_columns(data, batch_size=100000):
        rows += batch["ITEM"].length + batch["HDR"].length
        total += int(batch["ITEM"]["I-QTY"].sum())
print(rows, total, peak())
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


# Trimmed text of a wide field: the rows read hold what the values take,
# not the field's 2000 characters each (4 bytes a character).
WIDE_TEXT_SCRIPT = PEAK + """
import sys, vexfcbl
decoder = vexfcbl.parse(open(sys.argv[1]).read()).decoder(trim=True)
rows, texts = 0, set()
with open(sys.argv[2], "rb") as data:
    for batch in decoder.iter_columns(data):
        rows += batch["MEMO"].length
        texts.update(batch["MEMO"]["M-TEXT"].tolist())
print(rows, len(texts), max(map(len, texts)), peak())
"""


def test_trimmed_text_of_a_wide_field_in_memory_of_its_values(tmp_path):
    (tmp_path / "memo.cpy").write_text(
        "       01  MEMO.\n           05  M-ID    PIC 9(4).\n           05  M-TEXT  PIC X(2000).\n")
    block = b"".join(cobdata.zoned(i, 4, signed=False) + cobdata.text(f"note {i}", 2000)
                     for i in range(1000))
    path = tmp_path / "memo.dat"
    with open(path, "wb") as out:
        for _ in range(100):
            out.write(block)
    run = subprocess.run([sys.executable, "-c", WIDE_TEXT_SCRIPT, str(tmp_path / "memo.cpy"),
                          str(path)], capture_output=True, text=True, check=True, timeout=300)
    rows, distinct, longest, peak = map(int, run.stdout.split())
    assert (rows, distinct, longest) == (100000, 1000, len("note 999"))
    # The file is 200 MB; rows of 2000 characters would take 500 MB a batch.
    assert peak < 150 << 20, f"peak memory {peak >> 20} MB for a {path.stat().st_size >> 20} MB file"


# Columns on fresh memory: the reader populates the pages of each piece's
# rows before it writes them, and a whole decode of F records makes its
# columns as large as the data's records at once. Trimmed text of a field
# wider than the rows begin with widens mid-batch (the rest of the batch
# in a fresh block), a 100-character value fills the field.
NOTES = """       01  REMARK.
           05  N-ID    PIC 9(7).
           05  N-TEXT  PIC X(100).
           05  N-AMT   PIC S9(7)V99 COMP-3.
           05  N-QTY   PIC S9(4) COMP.
"""
NOTE_LENGTH = 7 + 100 + 5 + 2


def note_records(count):
    """REMARK records by cobdata, and the columns expected of them (trimmed)."""
    long_texts = {20000: "é" * 30 + "x" * 60, 33333: "Z" * 100, 47000: ("ü long " * 12).rstrip()}
    records, expected = [], []
    for i in range(count):
        text = long_texts.get(i, f"n{i % 977}")
        amount, qty = Decimal(i * 37 % 10**9 - 4 * 10**8).scaleb(-2), i % 19999 - 9999
        records.append(cobdata.zoned(i, 7, signed=False) + cobdata.text(text, 100)
                       + cobdata.packed(amount, 9, 2) + cobdata.binary(qty, 4))
        expected.append({"N-ID": i, "N-TEXT": text, "N-AMT": amount, "N-QTY": qty})
    return records, expected


def remark_rows(table):
    return [{column: column_value(table, column, row, "int") for column in table}
            for row in range(table.length)]


@pytest.mark.parametrize("route", ["batches", "reused", "bytes", "path", "skipped", "range"])
def test_columns_on_fresh_memory_hold_the_encoded_records(route, tmp_path):
    count = 60000
    records, expected = note_records(count)
    options = dict(trim=True)
    data = b"".join(records)
    if route == "skipped":
        data = b"\x00" * 33 + data + b"\xff" * 9
        options.update(skip_bytes=33, skip_trailer_bytes=9)
    if route == "range":  # records 1000 to 58999
        options["range"] = (1000 * NOTE_LENGTH, 59000 * NOTE_LENGTH - 50)
        expected = expected[1000:59000]
    decoder = vexfcbl.parse(NOTES).decoder(**options)
    if route == "batches":  # every batch held: each one's arrays fresh memory
        tables = [batch["REMARK"] for batch in decoder.iter_columns(data, batch_size=1 << 15)]
        assert [t.length for t in tables] == [1 << 15, count - (1 << 15)]
    elif route == "reused":  # each batch let go: later ones take its blocks
        at = 0
        for batch in decoder.iter_columns(data, batch_size=5000):
            rows = remark_rows(batch["REMARK"])
            assert rows == expected[at:at + len(rows)], at
            longest = max(len(row["N-TEXT"]) for row in rows)
            assert batch["REMARK"]["N-TEXT"].dtype == numpy.dtype(f"<U{longest}")
            at += len(rows)
        assert at == count
        return
    elif route == "path":
        (tmp_path / "notes.dat").write_bytes(data)
        tables = [decoder.decode_columns(tmp_path / "notes.dat")["REMARK"]]
    else:
        tables = [decoder.decode_columns(data)["REMARK"]]
    got = [row for table in tables for row in remark_rows(table)]
    assert len(got) == len(expected)
    for n, (row, want) in enumerate(zip(got, expected)):
        assert row == want, n
    assert decoder.warnings == []
    for table in tables:  # as wide as the batch's longest value
        longest = max(len(v) for v in table["N-TEXT"].tolist())
        assert table["N-TEXT"].dtype == numpy.dtype(f"<U{longest}")


def test_columns_of_two_record_types_in_large_held_batches():
    # Of two record types, a batch's columns are as large as the rows of
    # that type last time: the first batch's grow while they are read.
    data, expected = multi_record_file(50000)
    items = [fields for name, fields in expected if name == "ITEM"]
    decoder = vexfcbl.parse(MULTI).decoder(lrecl=18, when=["H-TYPE=H:HDR", "H-TYPE=I:ITEM"])
    tables = [batch["ITEM"] for batch in decoder.iter_columns(data, batch_size=1 << 14)]
    assert sum(t.length for t in tables) == len(items)
    assert [q for t in tables for q in t["I-QTY"].tolist()] == [f["I-QTY"] for f in items]
    assert [Decimal(int(p)).scaleb(-2) for t in tables for p in t["I-PRICE"]] == \
        [f["I-PRICE"] for f in items]
    assert [r for t in tables for r in t["I-RATE"].tolist()] == [f["I-RATE"] for f in items]


FRESH_MEMORY_SCRIPT = PEAK + """
import sys, vexfcbl
decoder = vexfcbl.parse(open(sys.argv[1]).read()).decoder()
data = sys.argv[2] if sys.argv[3] == "whole" else open(sys.argv[2], "rb").read()[:20000 * 114]
base = peak()
if sys.argv[3] == "whole":
    tables = [decoder.decode_columns(data)["REMARK"]]
else:
    tables = [batch["REMARK"] for batch in decoder.iter_columns(data, batch_size=1 << 20)]
print(sum(t.length for t in tables), peak() - base,
      sum(array.nbytes for t in tables for array in t.values()))
"""


def test_columns_on_fresh_memory_take_what_their_rows_need(tmp_path):
    # A whole decode takes its arrays' memory once (grown by doubling, each
    # step copied into a block twice as large, it took more than twice as
    # much); a batch far larger than the data takes pages of the rows that
    # come only (a batch of 2^20 rows of these, untrimmed, is about 440 MB).
    records, _ = note_records(2000)
    (tmp_path / "notes.cpy").write_text(NOTES)
    path = tmp_path / "notes.dat"
    with open(path, "wb") as out:
        for _ in range(100):
            out.write(b"".join(records))

    def run(how):
        run = subprocess.run([sys.executable, "-c", FRESH_MEMORY_SCRIPT,
                              str(tmp_path / "notes.cpy"), str(path), how],
                             capture_output=True, text=True, check=True, timeout=300)
        return map(int, run.stdout.split())

    # The decode's own pieces and buffers take about 22 MB beside the arrays.
    rows, took, arrays = run("whole")
    assert rows == 200000 and arrays > 80 << 20
    assert took < arrays * 1.1 + (32 << 20), f"{took >> 20} MB for {arrays >> 20} MB of arrays"
    rows, took, arrays = run("batch")
    assert rows == 20000
    assert took < arrays + (40 << 20), f"{took >> 20} MB for {arrays >> 20} MB of arrays"
