"""Mainframe data files decoded by vexfcbl-decode on a Dask cluster, and written back.

read() gives a dask.bag.Bag of records for users who continue in Dask;
write() writes such a bag back into a data file with vexfcbl-encode;
decode_to_directory() is what the vexfcbl-dask command runs.
"""

from .decoder import DecodeError, option_arguments
from .cluster_run import ResumeRefused, SplitFailed, decode_to_directory
from .encoder import EncodeError

__all__ = ["read", "write", "decode_to_directory", "DecodeError", "EncodeError", "SplitFailed",
           "ResumeRefused", "option_arguments"]


def read(copybook, paths, split_mb=64, flatten=False, **decoder_options):
    """A dask.bag.Bag of the records of the data files `paths` (a path or a
    list of them), decoded with `copybook` by vexfcbl-decode, one partition
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
