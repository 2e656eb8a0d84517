"""The vexfcbl Python module against the reviewed golden cases: layouts equal
the layout files and tables vexfcbl -layout writes, documents equal the
documents, parse errors equal the messages printed, with their positions;
options refused by name; threads."""

import ast
import concurrent.futures
import json
import os
import re
import threading
import warnings
from pathlib import Path

import pytest

import vexfcbl
from vexfcbl import _vexfcbl

SOURCE = Path(os.environ.get("VEX_SOURCE_DIR", Path(__file__).resolve().parents[2]))
GOLDEN = SOURCE / "tests" / "golden"


def golden_cases():
    for case in sorted(GOLDEN.iterdir()):
        if (case / "args").is_file() and not (case / "program").exists():
            yield case


# The command-line flags a case may use, as keyword arguments of parse() and
# document(); a case with any other flag is not a library call.
PARSE_FLAGS = {"-lenient": ("lenient", True), "-program": ("program", True),
               "-f": ("free_format", True), "-c": ("comma", True)}
DOCUMENT_FLAGS = {"-dnd": ("descriptions", False), "-tn": ("text_numbers_as_strings", True),
                  "-ta": ("packed_default_as_text", True), "-r": ("level_restrictions", True)}


def read_args(case):
    """(input, parse kwargs, document kwargs, -o, -layout), or None."""
    args = (case / "args").read_text().split("\n")[:-1]
    parse, document = {}, {}
    source = output = layout = None
    dirs, extensions = [], []
    i = 0
    while i < len(args):
        arg = args[i]
        value = args[i + 1] if i + 1 < len(args) else None
        if arg in PARSE_FLAGS:
            key, v = PARSE_FLAGS[arg]
            parse[key] = v
        elif arg in DOCUMENT_FLAGS:
            key, v = DOCUMENT_FLAGS[arg]
            document[key] = v
        elif arg in ("-i", "-o", "-layout", "-ns", "-compat", "-d", "-e") and value is not None:
            if arg == "-i":
                source = value
            elif arg == "-o":
                output = value
            elif arg == "-layout":
                layout = value
            elif arg == "-ns":
                document["namespace"] = value
            elif arg == "-compat":
                if value not in ("0", "300"):
                    return None
                document["compat"] = int(value)
            elif arg == "-d":
                dirs.append(value)
            else:
                extensions.append(value)
            i += 1
        else:
            return None
        i += 1
    if source is None:
        return None
    if dirs:
        parse["copy_dirs"] = dirs
    if extensions:
        parse["copy_extensions"] = extensions
    return source, parse, document, output, layout


def copybooks_of(folder):
    """Every file of a case's folder, held in memory, as COPY finds them in
    the current directory."""
    return {p.name: p.read_bytes() for p in folder.iterdir() if p.is_file()}


def parse_case(case, parse):
    files = case / "files"
    source = read_args(case)[0]
    kwargs = dict(parse)
    if "copy_dirs" in kwargs:
        # Folders given with -d are searched from the case's folder, then the
        # folder itself, as the program searches them.
        kwargs["copy_dirs"] = [str(files / d) for d in kwargs["copy_dirs"]] + [str(files)]
    else:
        kwargs["copybooks"] = copybooks_of(files)
    return vexfcbl.parse((files / source).read_bytes(), name=source, **kwargs)


SNAKE = re.compile(r"(?<!^)(?=[A-Z])")


def check_attributes(layout, expected):
    """Every key of the layout file is an attribute of the Python object."""
    assert [r.name for r in layout] == [r["name"] for r in expected["records"]]
    for record, data in zip(layout, expected["records"]):
        assert (record.length, record.min_length, record.max_length) == (
            data["length"], data["minLength"], data["maxLength"])
        assert len(record.items) == len(data["items"])
        for item, item_data in zip(record.items, data["items"]):
            for key, value in item_data.items():
                assert getattr(item, SNAKE.sub("_", key).lower()) == value, (item.path, key)
            assert item.name == item_data["path"].rsplit(".", 1)[-1]


def json_layout_cases():
    for case in golden_cases():
        args = read_args(case)
        if args and args[4] and args[4].endswith(".json") and (case / "out" / args[4]).exists():
            yield case


def text_layout_cases():
    for case in golden_cases():
        args = read_args(case)
        if not args or not args[4] or args[4].endswith(".json"):
            continue
        table = case / "stdout" if args[4] == "-" else case / "out" / args[4]
        if table.exists() and table.read_text().strip():
            yield case, table


@pytest.mark.parametrize("case", list(json_layout_cases()), ids=lambda c: c.name)
def test_layout_equals_the_layout_file(case):
    _, parse, _, _, layout_file = read_args(case)
    expected = json.loads((case / "out" / layout_file).read_text())
    layout = parse_case(case, parse).layout()
    assert layout.to_dict() == expected
    check_attributes(layout, expected)


def table_rows(table):
    """(offset, length, level, name, picture, usage) of every item row of a
    layout table, columns found by the header's titles."""
    rows = []
    header = None
    for line in table.read_text().splitlines():
        if line.lstrip().startswith("START"):
            header = {title: line.index(title) for title in ("NAME", "PICTURE", "USAGE", "OCCURS")}
            continue
        match = re.match(r"\s+\d+\s+\d+\s+(\d+)\s+(\d+)  ", line)
        if header and match:
            level, name = line[header["NAME"]:header["PICTURE"]].split()
            rows.append((int(match.group(1)), int(match.group(2)), int(level), name,
                         line[header["PICTURE"]:header["USAGE"]].strip(),
                         line[header["USAGE"]:header["OCCURS"]].strip()))
    return rows


@pytest.mark.filterwarnings("ignore::vexfcbl.CopybookWarning")
@pytest.mark.parametrize("case,table", list(text_layout_cases()), ids=lambda c: getattr(c, "name", ""))
def test_layout_equals_the_layout_table(case, table):
    _, parse, _, _, _ = read_args(case)
    layout = parse_case(case, parse).layout()
    rows = [(item.offset, item.length, item.level, item.name, item.picture or "", item.usage or "")
            for record in layout for item in record.items]
    expected = table_rows(table)
    assert expected, table
    assert rows == expected


def test_every_layout_case_was_compared():
    assert len(list(json_layout_cases())) >= 7
    assert len(list(text_layout_cases())) >= 10


def converter_error(stderr):
    """(file, line, column, item, text) of the converter's error in a
    program's standard error."""
    match = re.search(r'"([^"]*)":\s*(\d+),\s*(\d+) \(([^)]*)\) \n\tError: (.*)', stderr)
    return match.group(1), int(match.group(2)), int(match.group(3)), match.group(4), match.group(5)


@pytest.mark.parametrize("name", ["layout-binary-too-long", "layout-lenient-unbounded"])
def test_an_item_without_storage_is_an_error_with_its_position(name):
    case = GOLDEN / name
    copybook = parse_case(case, read_args(case)[1])
    with pytest.raises(vexfcbl.CopybookError) as raised:
        copybook.layout()
    error = raised.value
    assert (error.file, error.line, error.column, error.text) == (
        lambda f, l, c, i, t: (f, l, c, t))(*converter_error((case / "stderr").read_text()))
    assert error.messages[-1].item == converter_error((case / "stderr").read_text())[3]


def printed(message):
    """A front-end message as the program prints it."""
    return f'"{message.file}":{message.line:4},{message.column:3}: {message.message_class:<12}{message.text}'


def source_error_cases():
    for case in golden_cases():
        args = read_args(case)
        stderr = (case / "stderr").read_text() if (case / "stderr").exists() else ""
        if args and "Conversion stopped." in stderr and "Fatal" not in stderr:
            yield case


@pytest.mark.parametrize("case", list(source_error_cases()), ids=lambda c: c.name)
def test_parse_errors_are_the_messages_printed(case):
    stderr = (case / "stderr").read_text().splitlines()
    expected = stderr[stderr.index("Starting Cobol parsing ...") + 1:
                      stderr.index("Error: Cobol source contains errors. Conversion stopped.")]
    with pytest.raises(vexfcbl.CopybookError) as raised:
        parse_case(case, read_args(case)[1])
    assert [printed(m) for m in raised.value.messages] == expected
    first = next(m for m in raised.value.messages if m.message_class == "Error")
    assert (raised.value.line, raised.value.column, raised.value.text) == (
        first.line, first.column, first.text)


def test_every_source_error_case_was_compared():
    assert len(list(source_error_cases())) >= 10


def document_cases():
    for case in golden_cases():
        args = read_args(case)
        if not args or (case / "status").read_text() != "0\n" or not (case / "out").is_dir():
            continue
        documents = [p for p in (case / "out").iterdir() if p.suffix == ".gnv"]
        if len(documents) == 1:
            yield case, documents[0]


@pytest.mark.parametrize("case,document", list(document_cases()), ids=lambda c: getattr(c, "name", ""))
def test_document_equals_the_golden_document(case, document):
    _, parse, options, _, _ = read_args(case)
    if options.get("compat") == 0:
        del options["compat"]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", vexfcbl.CopybookWarning)
        text = parse_case(case, parse).document(**options)
    assert text == document.read_bytes().decode("utf-8", "surrogateescape")


def test_every_document_case_was_compared():
    assert len(list(document_cases())) >= 60


REC = ("       01  REC.\n"
       "           05  A PIC X(4).\n"
       "           05  B REDEFINES A PIC 9(4).\n")


def test_a_parse_error_is_an_exception_with_its_position():
    # Columns counted by hand: XYZ stands in column 27 of line 2.
    text = "       01  REC.\n           05  C PIC X(3) XYZ.\n           COPY MISSING.\n"
    with pytest.raises(vexfcbl.CopybookError) as raised:
        vexfcbl.parse(text, name="bad.cpy")
    error = raised.value
    assert (error.file, error.line, error.column) == ("bad.cpy", 2, 27)
    assert error.text.startswith("found/expected : name/. ")
    assert [(m.line, m.column, m.message_class) for m in error.messages] == [
        (2, 27, "Error"), (3, 17, "Error")]
    assert error.messages[1].text == "cannot access include file: MISSING"
    assert "bad.cpy:2:27: Error: found/expected" in str(error)


def test_a_fatal_end_is_an_exception_too():
    with pytest.raises(vexfcbl.CopybookError) as raised:
        vexfcbl.parse("       01  REC.\n           COPY LOOPER.\n",
                      copybooks={"looper": "           COPY LOOPER.\n"})
    assert raised.value.messages[-1].message_class == "Fatal"
    assert raised.value.text == "too many nested COPY's"
    assert (raised.value.file, raised.value.line, raised.value.column) == ("looper", 1, 17)


def test_copybooks_come_from_memory_then_from_the_folders(tmp_path):
    (tmp_path / "ADDR.cpy").write_text("           05  CITY PIC X(20).\n")
    (tmp_path / "NAME.cpy").write_text("           05  NAME PIC X(99).\n")
    text = ("       01  CUST.\n           COPY NAME.\n           COPY ADDR.\n")
    copybook = vexfcbl.parse(text, copybooks={"name": "           05  NAME PIC X(30).\n"},
                             copy_dirs=[tmp_path])
    items = copybook.layout().record("CUST").items
    assert [(i.path, i.offset, i.length) for i in items] == [
        ("CUST", 0, 50), ("CUST.NAME", 0, 30), ("CUST.CITY", 30, 20)]
    # No folder is searched that was not given, not even the current one.
    with pytest.raises(vexfcbl.CopybookError) as raised:
        vexfcbl.parse(text, copybooks={"NAME": "           05  NAME PIC X(30).\n"})
    assert raised.value.text == "cannot access include file: ADDR"


def test_parse_file_names_the_file(tmp_path):
    path = tmp_path / "REC.cpy"
    path.write_text(REC)
    with pytest.warns(vexfcbl.CopybookWarning, match="REDEFINES keyword"):
        document = vexfcbl.parse_file(path).document(namespace="a.b")
    assert document.startswith('<?xml version="1.0" encoding="UTF-8"')
    assert vexfcbl.parse_file(path).name == str(path)


def test_lenient_warnings_are_kept_on_the_copybook():
    copybook = vexfcbl.parse("       01  REC.\n           05  A PIC 9(4) COMP-5.\n"
                             "           05  B PIC X(2) VALUE H'C1C2'.\n", lenient=True)
    assert [m.message_class for m in copybook.messages] == ["Warning"]
    assert (copybook.messages[0].line, copybook.messages[0].column) == (3, 33)


@pytest.mark.parametrize("call,error,words", [
    (lambda: vexfcbl.parse(REC, lenent=True), TypeError, "'lenent'"),
    (lambda: vexfcbl.parse(REC, lenient="yes"), TypeError, "lenient must be True or False, not str"),
    (lambda: vexfcbl.parse(REC, copy_dirs="books"), TypeError, "copy_dirs"),
    (lambda: vexfcbl.parse(REC, copybooks=["A"]), TypeError, "copybooks"),
    (lambda: vexfcbl.parse(REC, copybooks={"A": 1}), TypeError, "copybooks"),
    (lambda: vexfcbl.parse(42), TypeError, "copybook must be str or bytes"),
    (lambda: vexfcbl.parse(REC).document(compat=301), ValueError, "compat must be 0 or 300"),
    (lambda: vexfcbl.parse(REC).document(compat="300"), TypeError, "compat"),
    (lambda: vexfcbl.parse(REC).document(name="x"), TypeError, "document() got an unexpected keyword argument 'name'"),
])
def test_bad_options_are_refused_by_name(call, error, words):
    with pytest.raises(error) as raised:
        call()
    assert words in str(raised.value)


def stub_keywords(function, cls=None):
    tree = ast.parse((Path(vexfcbl.__file__).parent / "__init__.pyi").read_text())
    for node in ast.walk(tree):
        if isinstance(node, ast.ClassDef) and node.name == cls:
            tree = node
            break
    for node in ast.walk(tree):
        if isinstance(node, ast.FunctionDef) and node.name == function:
            return [a.arg for a in node.args.kwonlyargs]
    raise AssertionError(function)


def test_stubs_and_docstrings_name_every_keyword():
    for function, keywords in (("parse", _vexfcbl.parse_keywords()),
                               ("parse_file", _vexfcbl.parse_keywords())):
        assert stub_keywords(function) == [k[0] for k in keywords]
    assert stub_keywords("document", "Copybook") == [k[0] for k in _vexfcbl.document_keywords()]
    for name, _, _ in _vexfcbl.parse_keywords():
        assert f"    {name} (" in vexfcbl.parse.__doc__
    for name, _, _ in _vexfcbl.document_keywords():
        assert f"    {name} (" in vexfcbl.Copybook.document.__doc__
    for public in (vexfcbl.parse, vexfcbl.parse_file, vexfcbl.Copybook.layout, vexfcbl.Layout,
                   vexfcbl.Record, vexfcbl.Item, vexfcbl.Message, vexfcbl.CopybookError):
        assert public.__doc__ and public.__doc__.strip()


@pytest.mark.filterwarnings("ignore::vexfcbl.CopybookWarning")
def test_threads_parsing_at_once_get_what_one_thread_gets():
    inputs = []
    for name in ("layout-storage-json", "program-layout", "copy-nested-replacing", "lenient-mixed"):
        case = GOLDEN / name
        inputs.append((case, read_args(case)[1]))

    def run(case, parse):
        copybook = parse_case(case, parse)
        return copybook.document(), copybook.layout().to_dict(), copybook.messages

    alone = [run(*i) for i in inputs]
    start = threading.Barrier(8)

    def worker(k):
        start.wait()
        return [(j % len(inputs), run(*inputs[j % len(inputs)])) for j in range(k, k + 12)]

    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        results = [r for batch in pool.map(worker, range(8)) for r in batch]
    assert len(results) == 96
    for which, result in results:
        assert result == alone[which]


@pytest.mark.filterwarnings("ignore::vexfcbl.CopybookWarning")
def test_one_copybook_shared_by_threads():
    copybook = parse_case(GOLDEN / "layout-storage-json", {})
    expected = (copybook.document(), copybook.layout().to_dict())
    with concurrent.futures.ThreadPoolExecutor(6) as pool:
        got = list(pool.map(lambda _: (copybook.document(), copybook.layout().to_dict()),
                            range(30)))
    assert all(g == expected for g in got)
