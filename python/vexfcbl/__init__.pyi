import os
from typing import (
    Any,
    BinaryIO,
    Dict,
    Iterator,
    List,
    Mapping,
    Optional,
    Sequence,
    Tuple,
    Union,
)

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

_Path = Union[str, "os.PathLike[str]"]

class Message:
    message_class: str
    file: str
    line: int
    column: int
    item: str
    text: str
    def __init__(
        self, message_class: str, file: str, line: int, column: int, item: str, text: str
    ) -> None: ...

class CopybookError(Exception):
    messages: List[Message]
    file: str
    line: int
    column: int
    text: str
    def __init__(self, messages: Sequence[Message], summary: str = ...) -> None: ...

class CopybookWarning(UserWarning): ...

class Item:
    path: str
    level: int
    offset: int
    length: int
    slack_before: Optional[int]
    usage: Optional[str]
    picture: Optional[str]
    digits: Optional[int]
    scale: Optional[int]
    signed: Optional[bool]
    sign_position: Optional[str]
    sign_separate: Optional[bool]
    sync: Optional[bool]
    justified: Optional[bool]
    blank_when_zero: Optional[bool]
    occurs: Optional[Dict[str, Any]]
    variable: Optional[bool]
    redefines: Optional[str]
    renames: Optional[str]
    renames_thru: Optional[str]
    conditions: Optional[List[Dict[str, Any]]]
    @property
    def name(self) -> str: ...
    def to_dict(self) -> Dict[str, Any]: ...

class Record:
    name: str
    length: int
    min_length: int
    max_length: int
    items: List[Item]
    def item(self, path: str) -> Item: ...
    def to_dict(self) -> Dict[str, Any]: ...

class Layout:
    records: List[Record]
    messages: List[Message]
    def __iter__(self) -> Iterator[Record]: ...
    def __len__(self) -> int: ...
    def record(self, name: str) -> Record: ...
    def to_dict(self) -> Dict[str, Any]: ...

class Copybook:
    messages: List[Message]
    @property
    def name(self) -> str: ...
    def document(
        self,
        *,
        namespace: str = ...,
        descriptions: bool = ...,
        text_numbers_as_strings: bool = ...,
        packed_default_as_text: bool = ...,
        compat: int = ...,
        level_restrictions: bool = ...,
    ) -> str: ...
    def layout(self) -> Layout: ...
    def decoder(
        self,
        *,
        warn: bool = ...,
        also: Sequence[Copybook] = ...,
        recfm: str = ...,
        lrecl: int = ...,
        codepage: str = ...,
        dbcs: str = ...,
        byteorder: str = ...,
        rdw: str = ...,
        rdw_adjust: int = ...,
        skip_bytes: int = ...,
        skip_trailer_bytes: int = ...,
        float: str = ...,
        record: str = ...,
        when: Union[
            str, Tuple[str, str, str], Tuple[str, str],
            Sequence[Union[str, Tuple[str, str, str], Tuple[str, str]]]
        ] = ...,
        fillers: bool = ...,
        trim: bool = ...,
        raw: bool = ...,
        strict: bool = ...,
        jobs: int = ...,
        range: Union[Tuple[int, Optional[int]], Tuple[int, Optional[int], int]] = ...,
        length_field: str = ...,
        length_map: Union[str, Mapping[Union[str, int], int]] = ...,
        variable_occurs: bool = ...,
        header: str = ...,
        trailer: str = ...,
        segment: str = ...,
        child: Union[str, Tuple[str, str], Sequence[Union[str, Tuple[str, str]]]] = ...,
        ids: bool = ...,
        select: Union[str, Sequence[str]] = ...,
        where: Union[
            str, Tuple[str, Any], Sequence[Union[str, Tuple[str, Any]]]
        ] = ...,
    ) -> Decoder: ...

class DecodeWarning(CopybookWarning):
    record: int
    offset: int
    path: str
    text: str
    def __init__(self, record: int, offset: int, path: str, text: str) -> None: ...

class DecodeError(ValueError):
    record: int
    offset: int
    path: str
    text: str
    def __init__(self, message: str, warning: Optional[DecodeWarning] = ...) -> None: ...

_Data = Union[bytes, bytearray, memoryview, str, "os.PathLike[str]", BinaryIO]

class Columns(Dict[str, Any]):
    name: str
    length: int
    kinds: Dict[str, str]
    scales: Dict[str, int]
    masks: Dict[str, Any]
    def __init__(self, name: str, length: int) -> None: ...

class Decoder:
    warnings: List[DecodeWarning]
    @property
    def options(self) -> Dict[str, Any]: ...
    def decode(self, data: _Data) -> Iterator[Dict[str, Any]]: ...
    def decode_columns(self, data: _Data, decimals: str = ...) -> Dict[str, Columns]: ...
    def iter_columns(
        self, data: _Data, batch_size: int = ..., decimals: str = ...
    ) -> Iterator[Dict[str, Columns]]: ...
    def to_pandas(self, data: _Data) -> Dict[str, Any]: ...

def parse(
    copybook: Union[str, bytes],
    *,
    name: str = ...,
    lenient: bool = ...,
    program: bool = ...,
    free_format: bool = ...,
    comma: bool = ...,
    copy_dirs: Sequence[_Path] = ...,
    copy_extensions: Sequence[str] = ...,
    copybooks: Mapping[str, Union[str, bytes]] = ...,
) -> Copybook: ...
def parse_file(
    path: _Path,
    *,
    name: str = ...,
    lenient: bool = ...,
    program: bool = ...,
    free_format: bool = ...,
    comma: bool = ...,
    copy_dirs: Sequence[_Path] = ...,
    copy_extensions: Sequence[str] = ...,
    copybooks: Mapping[str, Union[str, bytes]] = ...,
) -> Copybook: ...
