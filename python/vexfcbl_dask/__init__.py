"""Mainframe data files decoded by vexfcbl-decode on a Dask cluster.

read() gives a dask.bag.Bag of records for users who continue in Dask;
decode_to_directory() is what the vexfcbl-dask command runs.
"""

import decimal
import json
import logging

from .decoder import DecodeError, option_arguments
from .cluster_run import SplitFailed, decode_to_directory

__all__ = ["read", "decode_to_directory", "DecodeError", "SplitFailed", "option_arguments"]

_log = logging.getLogger("vexfcbl_dask")


def _flat(value, prefix, into):
    if isinstance(value, dict):
        for key, item in value.items():
            _flat(item, f"{prefix}.{key}" if prefix else key, into)
    else:
        into[prefix] = value
    return into


def _records(split, flatten):
    from . import decoder
    _, _, _, warnings, text = decoder.run_split(split, None)
    for line in warnings:
        _log.warning("%s", line)
    records = [json.loads(line, parse_float=decimal.Decimal) for line in text.splitlines()]
    if flatten:
        # A record is one object named after its 01 level: its items become
        # the columns (OCCURS tables stay lists).
        records = [_flat(record, "", {}) if len(record) != 1
                   else _flat(next(iter(record.values())), "", {}) for record in records]
    return records


def read(copybook, paths, split_mb=64, flatten=False, **decoder_options):
    """A dask.bag.Bag of the records of the data files `paths` (a path or a
    list of them), decoded with `copybook` by vexfcbl-decode, one partition
    per split of about `split_mb` megabytes, in input order. Each record is
    the dict of its JSON line; decimal numbers are decimal.Decimal, integers
    int. flatten=True drops the record's outer object and joins group names
    with "." ({"A.B": ...}), ready for to_dataframe().

    decoder_options are vexfcbl-decode's options by name: recfm, lrecl,
    codepage, dbcs, byteorder, float, record, when (list), fillers, trim,
    strict, comma (-c), free (-f), copy_dirs (-d, list), extensions (-e, list).
    The splits are planned now, on this machine; the copybook's text travels
    with each task; every worker needs this package, vexfcbl-decode and the
    data files at the same path. Decoder warnings are logged on the workers (logger
    "vexfcbl_dask"); strict=True makes bad data fail the computation."""
    import dask
    import dask.bag

    from . import decoder

    if "format" in decoder_options:
        raise TypeError("read() decodes JSON Lines; format is not an option here")
    paths = [paths] if isinstance(paths, str) else list(paths)
    args = option_arguments(decoder_options)
    splits = decoder.plan(copybook, paths, args, int(split_mb * (1 << 20)))
    parts = [dask.delayed(_records, pure=True)(split, flatten) for split in splits]
    return dask.bag.from_delayed(parts)
