"""Mainframe data files decoded by vexfcbl-decode on a Dask cluster, and written back.

read() gives a dask.bag.Bag of records for users who continue in Dask, read_frame() a
dask.dataframe.DataFrame whose columns and dtypes come from the layout's schema;
write() writes such a bag back into a data file with vexfcbl-encode;
decode_to_directory() is what the vexfcbl-dask command runs.
"""

import json

from .decoder import DecodeError, option_arguments
from .cluster_run import ResumeRefused, SplitFailed, decode_to_directory
from .encoder import EncodeError

__all__ = ["read", "read_frame", "frame_columns", "write", "decode_to_directory", "DecodeError", "EncodeError", "SplitFailed",
           "ResumeRefused", "option_arguments"]


def read(copybook, paths, split_mb=64, flatten=False, **decoder_options):
    """A dask.bag.Bag of the records of the data files `paths` (a path or a
    list of them), decoded with `copybook` (a path, or a list of them whose
    records are joined, as vexfcbl-decode -i repeated), one partition
    per split of about `split_mb` megabytes, in input order. Each record is
    the dict of its JSON line; decimal numbers are decimal.Decimal, integers
    int. flatten=True drops the record's outer object and joins group names
    with "." ({"A.B": ...}), ready for to_dataframe().

    decoder_options are vexfcbl-decode's options by name: recfm, lrecl,
    codepage, dbcs, byteorder, float, record, when (list), fillers, trim,
    strict, raw (each record's bytes under _raw, for write()), comma (-c),
    free (-f), lenient, copy_dirs (-d, list), extensions (-e, list), and
    the framings: rdw ("big" or "little"), rdw_adjust, skip_bytes,
    skip_trailer_bytes, length_field ("NAME+N"), length_map ("V=LEN,..."),
    variable_occurs, header and trailer (record names); segments and
    hierarchies: segment (the field -when VALUE:NAME reads), child
    ("SEGMENT:PARENT", list: each partition then holds whole trees), ids;
    select (list of fields), where ("FIELD=V1,V2", list). A copybook, an option or a data file the decoder refuses
    raises DecodeError with the decoder's message.
    The splits are planned now, on this machine; the copybook's text and the
    task's code travel with each task; every worker needs vexfcbl-decode and
    the data files at the same path. Decoder warnings are logged on the workers (logger
    "vexfcbl_dask"); strict=True makes bad data fail the computation."""
    import dataclasses

    import dask
    import dask.bag

    from . import decoder

    if "format" in decoder_options:
        raise TypeError("read() decodes JSON Lines; format is not an option here")
    paths = [paths] if isinstance(paths, str) else list(paths)
    args = option_arguments(decoder_options)
    splits = decoder.plan(copybook, paths, args, int(split_mb * (1 << 20)))
    task = decoder.shipped(decoder.records_of)
    parts = [dask.delayed(task, pure=False)(dataclasses.asdict(split), flatten)
             for split in splits]
    return dask.bag.from_delayed(parts)


def _schema(copybook, decoder_options):
    """The JSON Schema of the decoder's lines for `copybook` and the options (-schema)."""
    import os
    import subprocess
    import tempfile

    from . import decoder

    args = option_arguments(decoder_options)
    with tempfile.TemporaryDirectory() as folder:
        schema_file = os.path.join(folder, "lines.schema.json")
        run = subprocess.run([decoder.decoder_program(), "-q",
                              *decoder.copybook_arguments(copybook), *args,
                              "-schema", schema_file], capture_output=True,
                             stdin=subprocess.DEVNULL)
        if run.returncode != 0:
            raise DecodeError(run.stderr.decode("utf-8", "replace").strip())
        with open(schema_file, encoding="utf-8") as file:
            return json.load(file)


def _columns(schema):
    records = schema["properties"]
    columns = {}

    def walk(node, prefix):
        types = node.get("type")
        types = [types] if isinstance(types, str) else list(types or [])
        if "object" in types:
            for key, member in node["properties"].items():
                walk(member, f"{prefix}.{key}" if prefix else key)
        elif "array" in types:
            columns[prefix] = "object"
        elif "integer" in types:
            columns[prefix] = "Int64"
        elif "number" in types:
            columns[prefix] = "object" if "multipleOf" in node else "float64"
        else:
            columns[prefix] = "string"

    for name, record in records.items():
        walk(record, name if len(records) > 1 else "")
    return columns


def frame_columns(copybook, **decoder_options):
    """The columns read_frame() gives for `copybook` (a path or a list of them) and
    the decoder options, as {name: dtype} in record order, from the JSON Schema
    vexfcbl-decode -schema writes:
    whole numbers "Int64", decimals object (decimal.Decimal, exact), floating point
    "float64", text "string", OCCURS tables object (lists). Groups are joined by ".";
    with several records each column is under its record's name ("HDR-REC.BATCH-ID").
    DecodeError with the decoder's message when it refuses the copybook or an option."""
    return _columns(_schema(copybook, decoder_options))


def read_frame(copybook, paths, split_mb=64, **decoder_options):
    """A dask.dataframe.DataFrame of the records of `paths`, as read() decodes them, with
    the columns and dtypes of frame_columns(): the same for every partition and every
    record type, whatever the first record is (a file of several record types gives one
    column per item of each, None where a record does not have it)."""
    import pandas

    from . import decoder

    schema = _schema(copybook, decoder_options)
    columns = _columns(schema)
    several = len(schema["properties"]) > 1
    meta = pandas.DataFrame({name: pandas.Series(dtype=dtype) for name, dtype in columns.items()})
    bag = read(copybook, paths, split_mb=split_mb, **decoder_options)
    rows = bag.map_partitions(decoder.shipped(decoder.frame_rows), list(columns), several)
    return rows.to_dataframe(meta=meta)


def write(bag, copybook, path, **encoder_options):
    """Writes the records of `bag` into the data file `path` with vexfcbl-encode,
    one part per partition, joined in partition order: the file appears
    whole, by one rename, once every part is written, and an earlier file
    of that name stays as it was when any part fails.

    A record is a dict in the decoder's shape, as read() gives it without
    flatten ({"ACCT": {"ACCT-ID": 1, ...}}; decimal.Decimal numbers are written
    with their own digits), or the text of its JSON line.
    encoder_options are vexfcbl-encode's options by name: recfm, lrecl,
    blocksize, rdworder, codepage, dbcs, byteorder, float, packed_sign,
    record, when (list), fill, null, fillers, truncate, strict, comma (-c),
    free (-f), lenient, copy_dirs (-d, list), extensions (-e, list).
    Returns {"records_read", "records_written", "records_skipped",
    "warnings", "parts"}: records the encoder could not write are skipped and
    warned about (lines numbered within their part), unless strict=True,
    which raises EncodeError with the encoder's message, as does a copybook or
    an option it refuses. Every worker needs vexfcbl-encode and the folder of
    `path` at the same path."""
    from . import encoder

    if "format" in encoder_options:
        raise TypeError("write() encodes records as JSON; format is not an option here")
    args = encoder.option_arguments(encoder_options)
    return encoder.write_partitions(bag.to_delayed(), copybook, path, args)
