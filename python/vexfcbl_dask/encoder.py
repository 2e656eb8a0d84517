"""Running vexfcbl-encode on a Dask cluster: one part of the data file per partition, joined in order.

Each task runs vexfcbl-encode on its partition's JSON lines and writes a part
into a folder beside the data file; the client joins the parts in partition
order into a file beside the data file and puts it in place by one rename,
so the data file appears whole or not at all. Like the decoder's tasks, a
task carries the copybook's text and this module's code: a worker needs the
encoder program and the folder of the data file at the same path.
"""

import decimal
import json
import os
import shutil
import subprocess
import sys
import tempfile

# The encoder options a caller may give, by their Python names.
VALUE_OPTIONS = {"recfm": "-recfm", "lrecl": "-lrecl", "blocksize": "-blocksize",
                 "rdworder": "-rdworder", "codepage": "-codepage", "dbcs": "-dbcs",
                 "byteorder": "-byteorder", "float": "-float", "packed_sign": "-packed-sign",
                 "record": "-record", "fill": "-fill", "null": "-null"}
LIST_OPTIONS = {"when": "-when", "copy_dirs": "-d", "extensions": "-e"}
FLAG_OPTIONS = {"fillers": "-fillers", "truncate": "-truncate", "strict": "-strict",
                "comma": "-c", "free": "-f", "lenient": "-lenient"}

_PREFIX = "vexfcbl-encode: "


class EncodeError(Exception):
    """The encoder refused the copybook or the options, -strict met a record it
    could not write, or a file could not be read or written."""


def encoder_program():
    """The vexfcbl-encode to run: $VEXFCBL_ENCODE, the one installed beside this
    package (PREFIX/bin for PREFIX/lib/python3/dist-packages), or the one on PATH."""
    named = os.environ.get("VEXFCBL_ENCODE")
    if named:
        return named
    here = os.path.dirname(os.path.abspath(__file__))
    beside = os.path.normpath(os.path.join(here, "..", "..", "..", "..", "bin", "vexfcbl-encode"))
    if os.access(beside, os.X_OK):
        return beside
    found = shutil.which("vexfcbl-encode")
    if not found:
        raise EncodeError("vexfcbl-encode not found: install it or set VEXFCBL_ENCODE")
    return found


def option_arguments(options):
    """The encoder's command-line arguments for keyword options such as
    recfm="VB", blocksize=27998, when=["TYPE=A:A-REC"], fillers=True."""
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
            raise TypeError(f"unknown encoder option: {name}")
    return args


def json_line(record):
    """A record (a dict in the decoder's shape; decimal.Decimal, int and float
    numbers) as one JSON line, each Decimal written with its own digits."""
    if isinstance(record, str):
        return record if record.endswith("\n") else record + "\n"
    return _json_text(record) + "\n"


def _json_text(value):
    if isinstance(value, dict):
        return "{" + ",".join(json.dumps(str(k), ensure_ascii=False) + ":" + _json_text(v)
                              for k, v in value.items()) + "}"
    if isinstance(value, (list, tuple)):
        return "[" + ",".join(_json_text(v) for v in value) + "]"
    if isinstance(value, bool):
        raise TypeError("true and false are no values of a record")
    if isinstance(value, decimal.Decimal):
        if not value.is_finite():
            raise ValueError(f"{value} is no number a record holds")
        return str(value)
    if isinstance(value, (int, float)):
        return json.dumps(value)
    if value is None:
        return "null"
    return json.dumps(value, ensure_ascii=False)


def encode_part(lines, index, folder, copybook_name, copybook_text, args, encoder, cwd):
    """A task: the JSON lines of one partition (text or records) into
    FOLDER/part-NNNNN. Returns {"part", "read", "written", "skipped", "warnings"}."""
    encoder = encoder if os.access(encoder, os.X_OK) else (
        os.environ.get("VEXFCBL_ENCODE") or shutil.which("vexfcbl-encode") or encoder)
    text = "".join(json_line(line) for line in lines).encode("utf-8")
    part = os.path.join(folder, f"part-{index:05d}")
    with tempfile.TemporaryDirectory(prefix="vexfcbl-dask-") as scratch:
        copybook = os.path.join(scratch, copybook_name)
        with open(copybook, "wb") as file:
            file.write(copybook_text)
        here = cwd if os.path.isdir(cwd) else scratch
        try:
            run = subprocess.run([encoder, "-i", copybook, *args, "-o", part], input=text,
                                 capture_output=True, cwd=here)
        except OSError as error:
            raise EncodeError(f"part {index}: cannot run {encoder}: {error.strerror}") from None
    messages = run.stderr.decode("utf-8", "replace").splitlines()
    if run.returncode != 0:
        raise EncodeError(f"part {index}: " + "\n".join(m for m in messages if m))
    summary = messages[-1] if messages else ""
    words = summary[len(_PREFIX):].replace(",", "").split()
    if not summary.startswith(_PREFIX) or len(words) < 6:
        raise EncodeError(f"part {index}: no summary from vexfcbl-encode")
    # The lines are numbered within the part: the part says which it is.
    warnings = [m.replace(f"{_PREFIX}-: line ", f"{_PREFIX}part {index}: line ", 1)
                for m in messages[:-1]]
    return {"part": os.path.basename(part), "read": int(words[0]), "written": int(words[3]),
            "skipped": int(words[5]), "warnings": warnings}


def encode_part_or_error(*args):
    """A task: encode_part(*args), its EncodeError given back as {"error": text}
    instead of raised. A raised error ends dask.compute while the other parts
    still run, and may still write into the parts folder as it is removed;
    given back, every part has finished when compute returns."""
    try:
        return encode_part(*args)
    except EncodeError as error:
        return {"error": str(error)}


class _Shipped:
    """A function of this module that pickles by value, so a worker needs no
    part of this package to run it."""

    def __init__(self, function):
        self.function = function

    def __call__(self, *args):
        return self.function(*args)

    def __reduce__(self):
        import cloudpickle
        cloudpickle.register_pickle_by_value(sys.modules[__name__])
        return cloudpickle.loads, (cloudpickle.dumps(self.function),)


def _read_copybook(copybook):
    try:
        with open(copybook, "rb") as file:
            return file.read()
    except OSError as error:
        raise EncodeError(f"cannot read {copybook}: {error.strerror}") from None


def _refuse_inputs(path, inputs):
    for name in inputs:
        if os.path.exists(path) and os.path.exists(name) and os.path.samefile(path, name):
            raise EncodeError(f"{path} is the input {name}: an input is never overwritten")


def write_partitions(partitions, copybook, path, args, inputs=(), encoder=None):
    """Encodes the delayed `partitions` (each a list of JSON lines or records)
    into the data file `path`. Returns the run's counts, warnings and parts."""
    import dask

    encoder = encoder or encoder_program()
    text = _read_copybook(copybook)
    _refuse_inputs(path, [copybook, *inputs])
    target = os.path.abspath(path)
    folder = os.path.dirname(target)
    if not os.path.isdir(folder):
        raise EncodeError(f"cannot write {path}: No such file or directory")
    parts_folder = tempfile.mkdtemp(prefix=".vexfcbl-encode-parts-", dir=folder)
    joined = None
    try:
        task = _Shipped(encode_part_or_error)
        tasks = [dask.delayed(task, pure=False)(partition, i, parts_folder,
                                                os.path.basename(copybook), text, list(args),
                                                encoder, os.getcwd())
                 for i, partition in enumerate(partitions)]
        results = dask.compute(*tasks)
        # The first part's error in partition order, once none is running.
        for result in results:
            if "error" in result:
                raise EncodeError(result["error"])
        # The parts, in order, into a file beside the data file, then one rename.
        descriptor, joined = tempfile.mkstemp(prefix=".vexfcbl-encode-", dir=folder)
        with os.fdopen(descriptor, "wb") as out:
            for result in results:
                with open(os.path.join(parts_folder, result["part"]), "rb") as part:
                    shutil.copyfileobj(part, out, 1 << 20)
            out.flush()
            os.fsync(out.fileno())
        os.chmod(joined, 0o666 & ~_umask())
        os.replace(joined, target)
        joined = None
    except OSError as error:
        raise EncodeError(f"cannot write {path}: {error.strerror}") from None
    finally:
        if joined and os.path.exists(joined):
            os.remove(joined)
        shutil.rmtree(parts_folder, ignore_errors=True)
    return {"records_read": sum(r["read"] for r in results),
            "records_written": sum(r["written"] for r in results),
            "records_skipped": sum(r["skipped"] for r in results),
            "warnings": [w for r in results for w in r["warnings"]],
            "parts": len(results)}


def _umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask
