"""COBOL copybooks in the Python process: parse, document, record layout.

    import vexfcbl
    copybook = vexfcbl.parse(text, copybooks={"CUSTADDR": address_text})
    for record in copybook.layout():
        for item in record.items:
            print(item.path, item.offset, item.length, item.usage, item.picture)
    xml = copybook.document(namespace="corp.payroll")

The library runs in the process (no program is started, no file is
written); the GIL is released while a copybook is parsed or converted, and
copybooks on different threads share nothing.
"""

from __future__ import annotations

import inspect
import json
import os
import re
import warnings
from dataclasses import dataclass
from typing import Any, Dict, Iterator, List, Optional, Sequence

from . import _vexfcbl

__all__ = [
    "parse",
    "parse_file",
    "Copybook",
    "CopybookError",
    "CopybookWarning",
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
