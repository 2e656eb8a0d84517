"""COBOL copybooks in the Python process: parse, document, record layout.

    import vexfcbl
    copybook = vexfcbl.parse(text, copybooks={"CUSTADDR": address_text})
    for record in copybook.layout():
        for item in record.items:
            print(item.path, item.offset, item.length, item.usage, item.picture)
    xml = copybook.document(namespace="corp.payroll")
    decoder = copybook.decoder(recfm="V", codepage="IBM1047")
    for record in decoder.decode("accounts.dat"):    # dicts, decimals as Decimal
        ...
    frames = decoder.to_pandas("accounts.dat")       # one DataFrame per record type

The library runs in the process (no program is started, no file is
written); the GIL is released while a copybook is parsed or converted and
while records are decoded, and copybooks and decoders on different threads
share nothing.
"""

from __future__ import annotations

import inspect
import json
import os
import re
import warnings
from dataclasses import dataclass
from decimal import Decimal
from typing import Any, Dict, Iterator, List, Optional, Sequence, Union

from . import _vexfcbl

__all__ = [
    "parse",
    "parse_file",
    "Copybook",
    "CopybookError",
    "CopybookWarning",
    "Decoder",
    "DecodeWarning",
    "DecodeError",
    "Columns",
    "Message",
    "Layout",
    "Record",
    "Item",
]


@dataclass(frozen=True)
class Message:
    """One message of a parse, a conversion or a record layout.

    message_class is "Fatal", "Restriction", "Error", "Warning", "Information"
    or "Info"; file, line and column give its position (an empty file and 0
    without one); item names the item a conversion message is about.
    """

    message_class: str
    file: str
    line: int
    column: int
    item: str
    text: str

    def __str__(self) -> str:
        where = f"{self.file}:{self.line}:{self.column}: " if self.line else ""
        about = f"({self.item}) " if self.item else ""
        return f"{where}{self.message_class}: {about}{self.text}"


def _messages(native: Sequence[tuple]) -> List[Message]:
    return [Message(*m) for m in native]


class CopybookError(Exception):
    """A copybook that could not be parsed, converted or laid out.

    messages holds every message of the run; file, line, column and text
    are those of the first error (or fatal) message, for the common case of
    showing one.
    """

    def __init__(self, messages: Sequence[Message], summary: str = ""):
        self.messages: List[Message] = list(messages)
        errors = [m for m in self.messages if m.message_class in ("Fatal", "Error", "Restriction")]
        first = errors[0] if errors else None
        self.file: str = first.file if first else ""
        self.line: int = first.line if first else 0
        self.column: int = first.column if first else 0
        self.text: str = first.text if first else summary
        shown = [str(m) for m in (errors or self.messages)]
        super().__init__("\n".join(shown) if shown else summary)


class CopybookWarning(UserWarning):
    """A warning of a conversion or a record layout (the message's text)."""


_SNAKE = re.compile(r"(?<!^)(?=[A-Z])")


def _snake(name: str) -> str:
    return _SNAKE.sub("_", name).lower()


class _Entry:
    """A layout entry whose attributes are the layout file's keys in snake case."""

    _keys: Sequence[str] = ()

    def __init__(self, data: Dict[str, Any]):
        self._data = data

    def __getattr__(self, name: str) -> Any:
        if name.startswith("_"):
            raise AttributeError(name)
        for key in self._keys:
            if _snake(key) == name:
                return self._data.get(key)
        raise AttributeError(f"{type(self).__name__} has no attribute {name!r}")

    def to_dict(self) -> Dict[str, Any]:
        """The entry as the layout file (vexfcbl -layout FILE.json) writes it."""
        return json.loads(json.dumps(self._data))


class Item(_Entry):
    """One item of a record: path, level, offset, length (bytes), usage,
    picture, digits, scale, signed, sync, occurs, redefines, slack_before ...
    (None where the layout file has no such key)."""

    _keys = (
        "path", "level", "offset", "length", "slackBefore", "usage", "picture", "digits",
        "scale", "signed", "signPosition", "signSeparate", "sync", "justified",
        "blankWhenZero", "occurs", "variable", "redefines", "renames", "renamesThru",
        "conditions",
    )

    @property
    def name(self) -> str:
        """The item's own name: the last part of its path."""
        return self._data["path"].rsplit(".", 1)[-1]

    def __repr__(self) -> str:
        shown = ", ".join(
            f"{_snake(k)}={self._data[k]!r}"
            for k in ("path", "offset", "length", "usage", "picture")
            if k in self._data
        )
        return f"Item({shown})"


class Record(_Entry):
    """One record: name, length, min_length, max_length and its items in
    source order."""

    _keys = ("name", "length", "minLength", "maxLength")

    def __init__(self, data: Dict[str, Any]):
        super().__init__(data)
        self.items: List[Item] = [Item(i) for i in data.get("items", [])]

    def item(self, path: str) -> Item:
        """The item of that path (REC.GROUP.FIELD); KeyError if none."""
        for item in self.items:
            if item.path == path:
                return item
        raise KeyError(path)

    def __repr__(self) -> str:
        return f"Record(name={self.name!r}, length={self.length!r}, items={len(self.items)})"


class Layout:
    """The record layout of a copybook: its records, each with its items
    placed (offsets and lengths in bytes)."""

    def __init__(self, data: Dict[str, Any], messages: Sequence[Message] = ()):
        self._data = data
        self.records: List[Record] = [Record(r) for r in data.get("records", [])]
        self.messages: List[Message] = list(messages)

    def __iter__(self) -> Iterator[Record]:
        return iter(self.records)

    def __len__(self) -> int:
        return len(self.records)

    def record(self, name: str) -> Record:
        """The record of that name; KeyError if none."""
        for record in self.records:
            if record.name == name:
                return record
        raise KeyError(name)

    def to_dict(self) -> Dict[str, Any]:
        """The layout as the layout file (vexfcbl -layout FILE.json) writes it."""
        return json.loads(json.dumps(self._data))

    def __repr__(self) -> str:
        return f"Layout({[r.name for r in self.records]!r})"


class DecodeWarning(CopybookWarning):
    """A record whose data did not decode cleanly (the field is null in it).

    record is its number (from 1), offset the byte of the problem in the
    data, path the field (empty for the record as a whole), text what is
    wrong, with the bytes when they tell.
    """

    def __init__(self, record: int, offset: int, path: str, text: str):
        self.record = record
        self.offset = offset
        self.path = path
        self.text = text
        where = f"{path}: " if path else ""
        super().__init__(f"record {record}, byte {offset}: {where}{text}")


class DecodeError(ValueError):
    """A decode that could not go on: strict=True met bad data (record,
    offset, path and text as in DecodeWarning), or the data could not be
    read. The records before it were delivered."""

    def __init__(self, message: str, warning: Optional[DecodeWarning] = None):
        super().__init__(message)
        self.record: int = warning.record if warning else 0
        self.offset: int = warning.offset if warning else 0
        self.path: str = warning.path if warning else ""
        self.text: str = warning.text if warning else message


DataSource = Union[bytes, bytearray, memoryview, str, "os.PathLike[str]", Any]


class Columns(dict):
    """The columns of one record type: a dict of column name (the field's
    path below the record, subscripts from 1: GROUP.TABLE(2).FIELD) to a
    numpy array, one value per record.

    Arrays by the field's kind: text as numpy str; integers (scale 0) as
    int64; scaled decimals as int64 unscaled, their scale in `scales` (the
    value is array / 10**scale), or Decimal objects with
    decimals="object"; floating point as float64; numbers too large for 64
    bits as Decimal objects. `masks` holds, for each column with a null
    value, a bool array true where the value is null (floating point is NaN
    there too; text is empty, numbers 0). `length` is the number of records.
    """

    def __init__(self, name: str, length: int):
        super().__init__()
        self.name = name
        self.length = length
        self.kinds: Dict[str, str] = {}
        self.scales: Dict[str, int] = {}
        self.masks: Dict[str, Any] = {}

    def __repr__(self) -> str:
        return f"Columns({self.name!r}, length={self.length}, columns={list(self)!r})"


def _columns(records: Sequence[tuple]) -> Dict[str, Columns]:
    result: Dict[str, Columns] = {}
    for name, length, columns in records:
        table = Columns(name, length)
        for column, kind, array, mask, scale in columns:
            table[column] = array
            table.kinds[column] = kind
            if scale is not None:
                table.scales[column] = scale
            if mask is not None:
                table.masks[column] = mask
        result[name] = table
    return result


def _concatenate(batches: List[Dict[str, Columns]]) -> Dict[str, Columns]:
    if len(batches) == 1:
        return batches[0]
    import numpy

    result: Dict[str, Columns] = {}
    for name in batches[0]:
        parts = [b[name] for b in batches]
        table = Columns(name, sum(p.length for p in parts))
        for column in parts[0]:
            table[column] = numpy.concatenate([p[column] for p in parts])
            table.kinds[column] = parts[0].kinds[column]
            if column in parts[0].scales:
                table.scales[column] = parts[0].scales[column]
            if any(column in p.masks for p in parts):
                table.masks[column] = numpy.concatenate(
                    [p.masks.get(column, numpy.zeros(p.length, dtype=bool)) for p in parts]
                )
        result[name] = table
    return result


class Decoder:
    """Decodes records by a copybook, as vexfcbl-decode does. Made by
    Copybook.decoder(**options).

    Data is bytes (or any contiguous buffer), a path (str or os.PathLike,
    read by the library itself) or a binary file object (read in pieces,
    never wholly held). Records are decoded on a thread of the library with
    the GIL released. Warnings of the last decode are in `warnings` (a list
    of DecodeWarning); with warn=True they are also issued with
    warnings.warn. A Decoder is for one thread at a time; decoders made on
    other threads (from the same Copybook too) share nothing.
    """

    def __init__(self, native: Any, options: Dict[str, Any], warn: bool):
        self._native = native
        self._options = dict(options)
        self._warn = warn
        self.warnings: List[DecodeWarning] = []

    @property
    def options(self) -> Dict[str, Any]:
        """The keyword arguments the decoder was made with."""
        return dict(self._options)

    def _take(self, found: Sequence[tuple]) -> None:
        for w in found:
            warning = DecodeWarning(*w)
            self.warnings.append(warning)
            if self._warn:
                warnings.warn(warning, stacklevel=3)

    def _end(self, decode: Any) -> None:
        read, written, warned, completed, error = decode.result()
        if not completed:
            last = self.warnings[-1] if self._options.get("strict") and self.warnings else None
            raise DecodeError(error or "the decode did not complete", last)

    def decode(self, data: DataSource) -> Iterator[Dict[str, Any]]:
        """The records of `data`, one dict each as vexfcbl-decode writes its
        JSON line: {record name: {field: value}}, decimals as Decimal,
        integers as int, text as str, null fields as None.

        Raises DecodeError where strict=True meets bad data (after the
        records before it) or the data cannot be read; an exception of a
        file object's read() comes through as it is."""
        self.warnings = []
        decode = _vexfcbl.NativeDecode(self._native, data)
        loads = json.JSONDecoder(parse_float=Decimal).decode
        try:
            while True:
                piece = decode.next_lines()
                if piece is None:
                    break
                lines, found = piece
                self._take(found)
                for line in lines.splitlines():
                    yield loads(line.decode("utf-8"))
            self._end(decode)
        finally:
            decode.close()

    def iter_columns(
        self, data: DataSource, batch_size: int = 65536, decimals: str = "int"
    ) -> Iterator[Dict[str, Columns]]:
        """decode_columns() in batches of up to batch_size records (counted
        over every record type): memory holds one batch, not the whole
        output. Each batch is a dict of record name to Columns."""
        if not isinstance(batch_size, int) or isinstance(batch_size, bool) or batch_size < 1:
            raise ValueError(f"batch_size must be a whole number from 1 up, not {batch_size!r}")
        return self._batches(data, batch_size, decimals)

    # The options whose lines hold more than one record type's fields: the
    # columns are those of the body's records.
    _NOT_IN_COLUMNS = {
        "header": "the header record has columns of its own",
        "trailer": "the trailer record has columns of its own",
        "ids": "its keys _record, _segment and _parent are not fields of a record",
        "child": "its records hold their children's records nested",
    }

    def _batches(self, data: DataSource, rows: int, decimals: str) -> Iterator[Dict[str, Columns]]:
        if decimals not in ("int", "object"):
            raise ValueError(f"decimals must be 'int' or 'object', not {decimals!r}")
        for option, why in self._NOT_IN_COLUMNS.items():
            if self._options.get(option):
                raise ValueError(f"columns cannot be made with {option}: {why}; decode() "
                                 f"gives these records as dicts")
        self.warnings = []
        decode = _vexfcbl.NativeDecode(self._native, data, columns=True)
        try:
            while True:
                batch = decode.next_columns(rows, decimals == "object")
                if batch is None:
                    break
                records, found = batch
                self._take(found)
                columns = _columns(records)
                if any(c.length for c in columns.values()) or rows == 0:
                    yield columns
            self._end(decode)
        finally:
            decode.close()

    def decode_columns(self, data: DataSource, decimals: str = "int") -> Dict[str, Columns]:
        """The records of `data` as columns: a dict of record name to
        Columns (column name to numpy array; see Columns for the dtypes),
        every record type of the decoder present, with no Python object
        made per field (decimals="object": a Decimal per scaled decimal).
        For data larger than memory, iter_columns() gives batches."""
        if decimals not in ("int", "object"):
            raise ValueError(f"decimals must be 'int' or 'object', not {decimals!r}")
        batches = list(self._batches(data, 0, decimals))
        if not batches:
            batches = [_columns([(name, 0, []) for name, _ in self._native.column_layout()])]
        return _concatenate(batches)

    def to_pandas(self, data: DataSource) -> Dict[str, Any]:
        """One pandas DataFrame per record type (dict record name to
        DataFrame), a column per field as in decode_columns(). Dtypes from
        the layout: text as object (str, None where null); integers as int64
        (pandas' nullable Int64 when a value is null); scaled decimals as
        exact Decimal objects (object dtype); floating point as float64 (NaN
        where null)."""
        import numpy
        import pandas

        frames: Dict[str, Any] = {}
        for name, table in self.decode_columns(data, decimals="object").items():
            series = {}
            for column, array in table.items():
                mask = table.masks.get(column)
                kind = table.kinds[column]
                if kind == "integer":
                    series[column] = (
                        pandas.arrays.IntegerArray(array, mask)
                        if mask is not None
                        else pandas.Series(array, dtype="int64")
                    )
                elif kind == "text":
                    values = array.astype(object)
                    if mask is not None:
                        values[mask] = None
                    series[column] = pandas.Series(values, dtype=object)
                else:
                    series[column] = pandas.Series(array)
            frames[name] = pandas.DataFrame(series, index=numpy.arange(table.length))
        return frames

    def __repr__(self) -> str:
        shown = ", ".join(f"{k}={v!r}" for k, v in self._options.items())
        return f"Decoder({shown})"


def _warn(messages: Sequence[Message]) -> None:
    for m in messages:
        if m.message_class == "Warning":
            warnings.warn(CopybookWarning(str(m)), stacklevel=3)


class Copybook:
    """A parsed copybook (or program file). Made by parse() or parse_file().

    messages holds the parse's warnings. A Copybook may be used from several
    threads at once.
    """

    def __init__(self, native: _vexfcbl.NativeCopybook):
        self._native = native
        self.messages: List[Message] = _messages(native.messages)

    @property
    def name(self) -> str:
        """The name messages give the copybook."""
        return self._native.name

    def document(self, **options: Any) -> str:
        """The XML document of the copybook's data definitions, as vexfcbl
        writes it. Warnings come as CopybookWarning; a conversion that fails
        raises CopybookError with its messages."""
        completed, document, messages = self._native.document(**options)
        messages = _messages(messages)
        if not completed:
            raise CopybookError(messages, "the conversion failed")
        _warn(messages)
        return document.decode("utf-8", "surrogateescape")

    def layout(self) -> Layout:
        """The record layout (what vexfcbl -layout FILE.json writes) as Python
        objects; made once. An item that cannot be given storage raises
        CopybookError."""
        completed, text, messages = self._native.layout()
        messages = _messages(messages)
        if not completed:
            raise CopybookError(messages, "the record layout failed")
        _warn(messages)
        return Layout(json.loads(text), messages)

    def decoder(self, *, warn: bool = False, also: Sequence["Copybook"] = (),
                **options: Any) -> Decoder:
        """A Decoder of the copybook's records under vexfcbl-decode's
        options, as keyword arguments (recfm="V", codepage="IBM1047",
        when=["TYPE=A:REC-A"], ...). warn=True also issues each decode
        warning with warnings.warn. also=[other, ...] adds the records of
        further copybooks after this one's, as vexfcbl-decode -i given
        several times: all of them are candidates for record and when (a
        record name declared twice raises ValueError naming both). An
        unknown keyword raises TypeError, a value the decoder refuses
        ValueError with its reason; a copybook that cannot be laid out
        raises CopybookError.

        The framings and segments take vexfcbl-decode's values:
        length_field="LEN-FIELD+4", length_map="H=80,D=120",
        variable_occurs=True, header="HDR-REC", trailer="TRL-REC" (each
        decoded under its own record name among the records; header_out is
        refused: there is no second output), segment="SEG-CODE" with
        when=["C:CUSTOMER", "A:ACCOUNT"], child=["ACCOUNT:CUSTOMER"]
        (each parent's record holds its children in lists named by
        segment), ids=True (flat records with _record, _segment and
        _parent), select=["NAME", "BALANCE"], where=["KIND=D,C"]."""
        if not isinstance(warn, bool):
            raise TypeError(f"warn must be True or False, not {type(warn).__name__}")
        if isinstance(also, Copybook) or isinstance(also, (str, bytes)):
            raise TypeError("also must be a sequence of Copybook objects")
        others = list(also)
        for other in others:
            if not isinstance(other, Copybook):
                raise TypeError(f"also must hold Copybook objects, not {type(other).__name__}")
        for book in [self] + others:
            book.layout()
        native = self._native.decoder([other._native for other in others], **options)
        return Decoder(native, options, warn)

    def __repr__(self) -> str:
        return f"Copybook({self.name!r})"


def parse(copybook: str | bytes, **options: Any) -> Copybook:
    """Parses a copybook held in memory (str as UTF-8, or bytes).

    Raises CopybookError when the copybook has errors, with every message
    (file, line, column, text) as attributes; a bad option raises TypeError
    or ValueError naming it.
    """
    native = _vexfcbl.parse(copybook, **options)
    if native.error_count or native.fatal:
        raise CopybookError(_messages(native.messages), "the copybook has errors")
    return Copybook(native)


def parse_file(path: str | os.PathLike[str], **options: Any) -> Copybook:
    """Parses the copybook in the file `path`, named by it in messages
    unless name= says otherwise. Takes the keyword arguments of parse()."""
    with open(path, "rb") as f:
        text = f.read()
    options.setdefault("name", os.fspath(path))
    return parse(text, **options)


def _keyword_doc(keywords: Sequence[tuple]) -> str:
    return "\n\nKeyword arguments:\n" + "".join(
        f"    {name} ({kind}): {text}\n" for name, kind, text in keywords
    )


# The keyword arguments are listed from the native tables, so an option added
# there is documented here too.
parse.__doc__ = inspect.cleandoc(parse.__doc__ or "") + _keyword_doc(_vexfcbl.parse_keywords())
Copybook.document.__doc__ = inspect.cleandoc(Copybook.document.__doc__ or "") + _keyword_doc(
    _vexfcbl.document_keywords()
)
Copybook.decoder.__doc__ = inspect.cleandoc(Copybook.decoder.__doc__ or "") + _keyword_doc(
    _vexfcbl.decoder_keywords()
)
