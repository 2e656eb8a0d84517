"""Mainframe data files decoded by vexfcbl-decode on a Dask cluster.

read() gives a dask.bag.Bag of records for users who continue in Dask;
decode_to_directory() is what the vexfcbl-dask command runs.
"""

from .decoder import DecodeError, option_arguments
from .cluster_run import ResumeRefused, SplitFailed, decode_to_directory

__all__ = ["read", "decode_to_directory", "DecodeError", "SplitFailed", "ResumeRefused",
           "option_arguments"]


def read(copybook, paths, split_mb=64, flatten=False, **decoder_options):
    """A dask.bag.Bag of the records of the data files `paths` (a path or a
    list of them), decoded with `copybook` by vexfcbl-decode, one partition
    per split of about `split_mb` megabytes, in input order. Each record is
    the dict of its JSON line; decimal numbers are decimal.Decimal, integers
    int. flatten=True drops the record's outer object and joins group names
    with "." ({"A.B": ...}), ready for to_dataframe().

    decoder_options are vexfcbl-decode's options by name: recfm, lrecl,
    codepage, dbcs, byteorder, float, record, when (list), fillers, trim,
    strict, comma (-c), free (-f), lenient, copy_dirs (-d, list), extensions
    (-e, list). A copybook, an option or a data file the decoder refuses
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
