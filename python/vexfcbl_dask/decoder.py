"""Running vexfcbl-decode: split plans on the client, one byte range per task on a worker.

Everything a task needs travels with it: the copybook's text, and this module
itself (shipped()), so a worker needs only the decoder program and the data
file's path, not this package. A worker that can import the vexfcbl module
decodes read()'s ranges in its own process instead (no program started, no
temporary file); VEXFCBL_DASK_SUBPROCESS=1 makes it run the program anyway.
"""

import contextlib
import dataclasses
import decimal
import json
import logging
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import uuid

# The decoder options a caller may give, by their Python names: value options
# take a string or number, list options repeat, flags are booleans.
VALUE_OPTIONS = {"recfm": "-recfm", "lrecl": "-lrecl", "codepage": "-codepage",
                 "dbcs": "-dbcs", "byteorder": "-byteorder", "float": "-float",
                 "record": "-record", "format": "-format",
                 "rdw": "-rdw", "rdw_adjust": "-rdw-adjust", "skip_bytes": "-skip-bytes",
                 "skip_trailer_bytes": "-skip-trailer-bytes", "length_field": "-length-field",
                 "length_map": "-length-map", "header": "-header", "trailer": "-trailer",
                 "segment": "-segment"}
LIST_OPTIONS = {"when": "-when", "copy_dirs": "-d", "extensions": "-e", "child": "-child",
                "select": "-select", "where": "-where"}
FLAG_OPTIONS = {"fillers": "-fillers", "trim": "-trim", "strict": "-strict",
                "comma": "-c", "free": "-f", "lenient": "-lenient", "raw": "-raw",
                "variable_occurs": "-variable-occurs", "ids": "-ids"}

_SUMMARY = re.compile(r"^vexfcbl-decode: (\d+) records read, (\d+) written, (\d+) with warnings$")
_HINT = "vexfcbl-decode: hint: "


class DecodeError(Exception):
    """The decoder refused the copybook, the options or a split, or could not read or write."""


def decoder_program():
    """The vexfcbl-decode to run: $VEXFCBL_DECODE, the one installed beside this
    package (PREFIX/bin for PREFIX/lib/python3/dist-packages), or the one on PATH."""
    named = os.environ.get("VEXFCBL_DECODE")
    if named:
        return named
    here = os.path.dirname(os.path.abspath(__file__))
    beside = os.path.normpath(os.path.join(here, "..", "..", "..", "..", "bin", "vexfcbl-decode"))
    if os.access(beside, os.X_OK):
        return beside
    found = shutil.which("vexfcbl-decode")
    if not found:
        raise DecodeError("vexfcbl-decode not found: install it or set VEXFCBL_DECODE")
    return found


def option_arguments(options):
    """The decoder's command-line arguments for keyword options such as
    recfm="VB", lrecl=200, when=["TYPE=A:A-REC"], fillers=True."""
    args = []
    for name, value in options.items():
        if name in VALUE_OPTIONS:
            if value is not None:
                args += [VALUE_OPTIONS[name], str(value)]
        elif name in LIST_OPTIONS:
            values = [value] if isinstance(value, str) else list(value or [])
            for item in values:
                # Copy directories are searched from the worker's current
                # directory, which may not be the client's.
                item = os.path.abspath(item) if name == "copy_dirs" else item
                args += [LIST_OPTIONS[name], str(item)]
        elif name in FLAG_OPTIONS:
            if value:
                args.append(FLAG_OPTIONS[name])
        else:
            raise TypeError(f"unknown decoder option: {name}")
    return args


def _record_format(args):
    for option, value in zip(args, args[1:]):
        if option == "-recfm":
            return value
    return "F"


@dataclasses.dataclass
class Split:
    """One task: the records that begin in [start, end) of one data file."""
    index: int            # its place in input order: part-{index:05d}
    path: str             # as the user named it (warnings name it so)
    absolute_path: str    # for a worker whose current directory differs
    start: int
    end: int
    first_record: int     # the number the decoder gives its first record
    copybooks: list       # [name, text] of each -i, in order
    args: list            # decoder options
    decoder: str          # the client's decoder program, if the worker has none of its own
    cwd: str              # the client's current directory (copybook search starts at ./)
    numbered: bool = False  # first_record is the file's own number (not L)

    def describe(self):
        return f"split {self.index} ({self.path} bytes {self.start}-{self.end})"


def copybook_paths(copybook):
    """One copybook path, or a list of them (vexfcbl-decode -i repeated), as a list."""
    if isinstance(copybook, (str, os.PathLike)):
        return [os.fspath(copybook)]
    paths = [os.fspath(path) for path in copybook]
    if not paths:
        raise DecodeError("no copybook given")
    return paths


def copybook_arguments(copybooks):
    """-i PATH for each copybook."""
    return [argument for path in copybook_paths(copybooks) for argument in ("-i", path)]


def read_copybook(copybook):
    """The copybook's bytes; DecodeError saying why when it cannot be read."""
    try:
        with open(copybook, "rb") as file:
            return file.read()
    except OSError as error:
        raise DecodeError(f"cannot read {copybook}: {error.strerror}") from None


def plan(copybook, paths, args, split_bytes, decoder=None, hints=None):
    """Splits every data file with vexfcbl-decode -splits; the Splits in input order.
    `copybook` is a path or a list of them (their records joined, as -i repeated).
    The decoder's hints about the data (a wrong -recfm, -lrecl or -codepage) are
    appended to the list `hints`, without repeats. Raises DecodeError with the
    decoder's messages when it refuses."""
    decoder = decoder or decoder_program()
    books = [[os.path.basename(path), read_copybook(path)] for path in copybook_paths(copybook)]
    splits = []
    for path in paths:
        try:
            run = subprocess.run([decoder, *copybook_arguments(copybook), *args, "-splits",
                                  str(split_bytes), path], capture_output=True, text=True)
        except OSError as error:
            raise DecodeError(f"cannot run {decoder}: {error.strerror}") from None
        if run.returncode != 0:
            raise DecodeError(_messages(run.stderr) or
                              f"vexfcbl-decode -splits failed on {path}")
        if hints is not None:
            for line in run.stderr.splitlines():
                hint = line[len("vexfcbl-decode: "):]
                if line.startswith(_HINT) and hint not in hints:
                    hints.append(hint)
        for line in run.stdout.split():
            fields = [int(field) for field in line.split(":")]
            # L ranges do not know their first record: numbered from 1 here,
            # renumbered once the records before them are counted.
            first = fields[2] if len(fields) == 3 else 1
            splits.append(Split(len(splits), path, os.path.abspath(path), fields[0], fields[1],
                                first, [list(book) for book in books], list(args), decoder,
                                os.getcwd(), len(fields) == 3))
    return splits


def _messages(stderr):
    return "\n".join(line for line in stderr.splitlines() if line)


def _die_with_worker():
    """The function the decoder's process runs before the program: a worker killed while
    its decoder runs takes the decoder with it, so the task runs again
    elsewhere and no orphan keeps writing. Looked up here, in the parent: the
    function runs in the child between fork and exec, where an import could
    wait forever on a lock another thread of the parent held at the fork (a
    local run imports Dask while its first splits decode)."""
    try:
        import ctypes
        prctl = ctypes.CDLL("libc.so.6", use_errno=True).prctl
    except (OSError, AttributeError):
        return None
    kill = int(signal.SIGKILL)
    return lambda: prctl(1, kill)  # PR_SET_PDEATHSIG


def _orphan_guard(guard, decoder):
    """How the decoder's process is made to die with the one that runs it:
    (words before the command, function run before it). Where a guard is
    held (the program's own process, whose other threads fork while it
    decodes) no Python may run in the child: the function would make the
    fork run every at-fork hook of the process, and those take locks (the
    thread pools', logging's) that a thread forking at that moment holds
    while it waits for the guard. util-linux's setpriv sets the same
    parent-death signal from the child's side, and is left out where the
    system lacks it (the program then ends the decoders it started), and
    where the decoder cannot be run (its own error then says why)."""
    if guard is None:
        return [], _die_with_worker()
    setpriv = shutil.which("setpriv")
    if setpriv is None or shutil.which(decoder) is None:
        return [], None
    return [setpriv, "--pdeathsig", "KILL", "--"], None


def run_split(split, output, started=None, guard=None):
    """Decodes one split into the file `output` (or standard output when None) on
    this machine. Returns (read, written, warned, warnings, stdout).
    `started(process)` is called with the decoder's Popen once it runs: the
    caller then owns the process's end, which runs in a session of its own, out
    of reach of a Ctrl-C or kill meant for the caller's process group (the
    caller kills it when it stops). `guard`: a context held while the process
    is made."""
    decoder = split.decoder
    if not os.access(decoder, os.X_OK):
        decoder = os.environ.get("VEXFCBL_DECODE") or shutil.which("vexfcbl-decode") or decoder
    here = split.cwd if os.path.isdir(split.cwd) else None
    path = split.path if here else split.absolute_path
    prefix, preexec = _orphan_guard(guard, decoder)
    with tempfile.TemporaryDirectory(prefix="vexfcbl-dask-") as scratch:
        copybooks = []
        # A folder each: two copybooks of one name from different folders.
        for number, (name, text) in enumerate(split.copybooks):
            os.makedirs(os.path.join(scratch, str(number)))
            copybooks += ["-i", os.path.join(scratch, str(number), name)]
            with open(copybooks[-1], "wb") as file:
                file.write(text)
        command = [decoder, *copybooks, *split.args,
                   "-range", f"{split.start}:{split.end}:{split.first_record}"]
        if output:
            command += ["-o", output]
        # Its messages through a file, not a pipe: a process forked from this
        # one while the decoder starts (a local cluster's worker) would hold
        # the pipe's other end, and its end of file would never come.
        with tempfile.TemporaryFile(dir=scratch) as messages:
            try:
                with guard or contextlib.nullcontext():
                    process = subprocess.Popen(
                        prefix + command + [path], stdin=subprocess.DEVNULL,
                        stdout=subprocess.DEVNULL if output else subprocess.PIPE,
                        stderr=messages, cwd=here or scratch, preexec_fn=preexec,
                        start_new_session=started is not None)
            except OSError as error:
                raise DecodeError(f"{split.describe()} failed: cannot run {decoder}: "
                                  f"{error.strerror}") from None
            with process:
                if started:
                    started(process)
                out = process.communicate()[0]
            messages.seek(0)
            stderr = messages.read().decode("utf-8", "replace")
    if process.returncode != 0:
        raise DecodeError(f"{split.describe()} failed: vexfcbl-decode exited with status "
                          f"{process.returncode}: {_messages(stderr)}")
    counts = None
    warnings = []
    for line in stderr.splitlines():
        match = _SUMMARY.match(line)
        if match:
            counts = tuple(int(group) for group in match.groups())
        elif line and not line.startswith(_HINT):
            warnings.append(line)
    if counts is None:
        raise DecodeError(f"{split.describe()} failed: no summary from vexfcbl-decode")
    return (*counts, warnings, out)


def renumber(warnings, path, delta):
    """The warnings of a split about `path` with their record numbers moved by `delta`."""
    if delta == 0:
        return list(warnings)
    pattern = re.compile(r"^(vexfcbl-decode: (?:error: )?" + re.escape(path) + r": record )(\d+)")
    return [pattern.sub(lambda m: m.group(1) + str(int(m.group(2)) + delta), line, count=1)
            for line in warnings]


class _Shipped:
    """A function of this module that pickles by value: unpickled on a worker,
    it is the function itself, made from the bytes cloudpickle gives."""

    def __init__(self, function):
        self.function = function

    def __call__(self, *args):
        return self.function(*args)

    def __reduce__(self):
        import cloudpickle
        cloudpickle.register_pickle_by_value(sys.modules[__name__])
        return cloudpickle.loads, (cloudpickle.dumps(self.function),)


def shipped(function):
    """`function` (of this module) as a task that workers can run without the
    vexfcbl_dask package: its code and this module's travel with it."""
    return _Shipped(function)


def write_part(fields, outdir, extension, started=None, guard=None):
    """A task: decodes `split` into OUTDIR/part-NNNNN.EXT. The part is written
    under OUTDIR/_temporary with a name of its own and renamed when complete,
    so a task run twice (a worker died) leaves one whole part, never a
    partial or doubled one. `fields`: the Split as a dict; `started` and
    `guard` as for run_split(). Returns the split's counts and warnings."""
    split = Split(**fields)
    name = f"part-{split.index:05d}.{extension}"
    temporary = os.path.join(outdir, "_temporary")
    os.makedirs(temporary, exist_ok=True)
    scratch = os.path.join(temporary, f"{name}.{uuid.uuid4().hex}")
    try:
        read, written, warned, warnings, _ = run_split(split, scratch, started, guard)
        os.replace(scratch, os.path.join(outdir, name))
    finally:
        if os.path.exists(scratch):
            os.remove(scratch)
    return {"part": name, "file": split.path, "start": split.start, "end": split.end,
            "records_read": read, "records_written": written, "records_warned": warned,
            "warnings": warnings, "first_record": split.first_record,
            "numbered": split.numbered}


def _flat(value, prefix, into):
    if isinstance(value, dict):
        for key, item in value.items():
            _flat(item, f"{prefix}.{key}" if prefix else key, into)
    else:
        into[prefix] = value
    return into


def _module():
    """The vexfcbl module when this worker can import it (and may use it)."""
    if os.environ.get("VEXFCBL_DASK_SUBPROCESS") == "1":
        return None
    try:
        import vexfcbl
        return vexfcbl if hasattr(vexfcbl.Copybook, "decoder") else None
    except ImportError:
        return None


# The decoder's command-line arguments as keyword arguments of vexfcbl.parse()
# and of Copybook.decoder(): (function, keyword, kind).
_MODULE_OPTIONS = {
    "-recfm": ("decoder", "recfm", str), "-lrecl": ("decoder", "lrecl", int),
    "-codepage": ("decoder", "codepage", str), "-dbcs": ("decoder", "dbcs", str),
    "-byteorder": ("decoder", "byteorder", str), "-float": ("decoder", "float", str),
    "-record": ("decoder", "record", str), "-when": ("decoder", "when", list),
    "-d": ("parse", "copy_dirs", list), "-e": ("parse", "copy_extensions", list),
    "-fillers": ("decoder", "fillers", bool), "-trim": ("decoder", "trim", bool),
    "-strict": ("decoder", "strict", bool), "-raw": ("decoder", "raw", bool),
    "-c": ("parse", "comma", bool), "-f": ("parse", "free_format", bool),
    "-lenient": ("parse", "lenient", bool),
    "-rdw": ("decoder", "rdw", str), "-rdw-adjust": ("decoder", "rdw_adjust", int),
    "-skip-bytes": ("decoder", "skip_bytes", int),
    "-skip-trailer-bytes": ("decoder", "skip_trailer_bytes", int),
    "-length-field": ("decoder", "length_field", str),
    "-length-map": ("decoder", "length_map", str),
    "-variable-occurs": ("decoder", "variable_occurs", bool),
    "-header": ("decoder", "header", str), "-trailer": ("decoder", "trailer", str),
    "-segment": ("decoder", "segment", str), "-child": ("decoder", "child", list),
    "-ids": ("decoder", "ids", bool), "-select": ("decoder", "select", list),
    "-where": ("decoder", "where", list),
}


def module_keywords(args):
    """(parse keywords, decoder keywords) for the decoder's arguments `args`;
    None when one of them has no keyword (the program decodes then)."""
    chosen = {"parse": {}, "decoder": {}}
    i = 0
    while i < len(args):
        if args[i] not in _MODULE_OPTIONS:
            return None
        function, keyword, kind = _MODULE_OPTIONS[args[i]]
        if kind is bool:
            chosen[function][keyword] = True
            i += 1
            continue
        if i + 1 == len(args):
            return None
        value = args[i + 1]
        if kind is list:
            chosen[function].setdefault(keyword, []).append(value)
        else:
            chosen[function][keyword] = kind(value)
        i += 2
    return chosen["parse"], chosen["decoder"]


def decode_split_in_process(vexfcbl, split, keywords):
    """The records of one split decoded by the vexfcbl module in this process:
    (records, warnings as the program prints them)."""
    parse_options, decoder_options = keywords
    here = split.cwd if os.path.isdir(split.cwd) else None
    path = split.path if here and os.path.isabs(split.path) else split.absolute_path
    # The program looks for COPY members in the folders given, then in its
    # current directory, which is the client's.
    parse_options = dict(parse_options)
    parse_options["copy_dirs"] = list(parse_options.get("copy_dirs", [])) + ([here] if here else [])
    try:
        books = [vexfcbl.parse(text, name=name, **parse_options)
                 for name, text in split.copybooks]
        decoder = books[0].decoder(range=(split.start, split.end, split.first_record),
                                   also=books[1:], **decoder_options)
        records = list(decoder.decode(path))
    except (vexfcbl.CopybookError, ValueError) as error:
        raise DecodeError(f"{split.describe()} failed: {error}") from None
    strict = decoder_options.get("strict")
    warnings = [f"vexfcbl-decode: {'error: ' if strict else ''}{split.path}: {w}"
                for w in decoder.warnings]
    return records, warnings
def frame_rows(records, columns, several):
    """A task of read_frame(): records (dicts as read() gives them) as rows with exactly
    `columns`, groups joined by "." and, when the layout has `several` records, each
    column under its record's name; keys a record does not have are None."""
    rows = []
    for record in records:
        flat = _flat(record if several else next(iter(record.values())), "", {})
        rows.append({column: flat.get(column) for column in columns})
    return rows


def records_of(fields, flatten):
    """A task of read(): the records of one split (a Split as a dict) as dicts,
    decimal numbers as decimal.Decimal; warnings go to the worker's log. The
    vexfcbl module decodes them when the worker has it, the program otherwise."""
    split = Split(**fields)
    vexfcbl = _module()
    keywords = module_keywords(split.args) if vexfcbl else None
    if keywords is not None:
        records, warnings = decode_split_in_process(vexfcbl, split, keywords)
    else:
        _, _, _, warnings, text = run_split(split, None)
        records = [json.loads(line, parse_float=decimal.Decimal) for line in text.splitlines()]
    log = logging.getLogger("vexfcbl_dask")
    for line in warnings:
        log.warning("%s", line)
    if flatten:
        # A record is one object named after its 01 level: its items become
        # the columns (OCCURS tables stay lists).
        records = [_flat(next(iter(r.values())) if len(r) == 1 else r, "", {}) for r in records]
    return records
