"""The vexfcbl-dask command line."""

import logging
import os
import subprocess
import sys

from . import decoder as decoding

USAGE = """\
Usage: vexfcbl-dask -i COPYBOOK [decoder options] (--scheduler ADDRESS | --local N)
                    [--split-mb MB] -o OUTDIR DATAFILE...
Decodes the data files with vexfcbl-decode on a Dask cluster, one task per split
of about MB megabytes, into OUTDIR/part-NNNNN.jsonl (or .csv) in input order and
OUTDIR/_SUCCESS when every part is complete.
Options:
  -i COPYBOOK          the COBOL copybook.
  -o OUTDIR            output folder; created, and must be empty when it exists.
  --scheduler ADDRESS  a running Dask scheduler (tcp://host:8786).
  --local N            a cluster of N worker processes on this machine.
  --split-mb MB        split size in megabytes; 128 by default.
  -?, --help           print this usage message.
  --version            print the version.
Decoder options, passed to vexfcbl-decode as they are:
  -f -c -fillers -trim -strict, and -d -e -recfm -lrecl -codepage -dbcs
  -byteorder -float -record -when -format with their values.
"""

_VALUES = {"-d", "-e", "-recfm", "-lrecl", "-codepage", "-dbcs", "-byteorder", "-float",
           "-record", "-when", "-format"}
_FLAGS = {"-f", "-c", "-fillers", "-trim", "-strict"}
_REFUSED = {"-j": "each split is one task; the workers are the parallelism",
            "-range": "the splits are planned by vexfcbl-dask",
            "-splits": "the splits are planned by vexfcbl-dask"}


class UsageError(Exception):
    pass


def parse(argv):
    settings = {"copybook": None, "outdir": None, "scheduler": None, "local": None,
                "split_mb": 128.0, "args": [], "files": []}
    items = iter(argv)

    def value(option):
        try:
            return next(items)
        except StopIteration:
            raise UsageError(f"{option} needs a value") from None

    for item in items:
        if item in ("-?", "-h", "--help"):
            return None
        if item == "--version":
            return "version"
        if item == "-i":
            settings["copybook"] = value(item)
        elif item == "-o":
            settings["outdir"] = value(item)
        elif item == "--scheduler":
            settings["scheduler"] = value(item)
        elif item == "--local":
            text = value(item)
            if not text.isdigit() or not 1 <= int(text) <= 256:
                raise UsageError(f"--local {text}: give a number of worker processes, 1 to 256")
            settings["local"] = int(text)
        elif item == "--split-mb":
            text = value(item)
            try:
                settings["split_mb"] = float(text)
            except ValueError:
                settings["split_mb"] = 0
            if not settings["split_mb"] > 0:
                raise UsageError(f"--split-mb {text}: give a positive number of megabytes")
        elif item in _VALUES:
            settings["args"] += [item, value(item)]
        elif item in _FLAGS:
            settings["args"].append(item)
        elif item in _REFUSED:
            raise UsageError(f"{item} is not an option of vexfcbl-dask: {_REFUSED[item]}")
        elif item.startswith("-") and item != "-":
            raise UsageError(f"unknown option {item}")
        else:
            settings["files"].append(item)
    if not settings["copybook"]:
        raise UsageError("-i COPYBOOK is missing")
    if not settings["outdir"]:
        raise UsageError("-o OUTDIR is missing")
    if (settings["scheduler"] is None) == (settings["local"] is None):
        raise UsageError("give one of --scheduler ADDRESS and --local N")
    if not settings["files"] or "-" in settings["files"]:
        raise UsageError("name the data files (standard input cannot be split)")
    return settings


class _Bar:
    """Parts done, on standard error when it is a terminal."""

    def __init__(self, stream):
        self.stream = stream

    def __call__(self, done, total):
        width = 30
        filled = width * done // max(total, 1)
        self.stream.write(f"\r[{'#' * filled}{'.' * (width - filled)}] {done}/{total} parts")
        if done == total:
            self.stream.write("\n")
        self.stream.flush()


def _version():
    try:
        line = subprocess.run([decoding.decoder_program(), "--version"], capture_output=True,
                              text=True).stdout.strip()
    except (OSError, decoding.DecodeError):
        line = "vexfcbl-decode unknown"
    return line.replace("vexfcbl-decode", "vexfcbl-dask", 1)


def main(argv):
    try:
        settings = parse(argv)
    except UsageError as error:
        sys.stderr.write(f"vexfcbl-dask: {error}\n{USAGE}")
        return 1
    if settings is None:
        sys.stdout.write(USAGE)
        return 0
    if settings == "version":
        print(_version())
        return 0
    outdir = settings["outdir"]
    if os.path.isdir(outdir) and os.listdir(outdir):
        sys.stderr.write(f"vexfcbl-dask: {outdir} is not empty\n")
        return 1
    for path in settings["files"]:
        if not os.path.isfile(path):
            sys.stderr.write(f"vexfcbl-dask: cannot read {path}\n")
            return 1

    # Imported here: --help and usage errors need no cluster library.
    from distributed import Client, LocalCluster

    from .cluster_run import SplitFailed, decode_to_directory

    cluster = None
    try:
        if settings["local"]:
            cluster = LocalCluster(n_workers=settings["local"], threads_per_worker=1,
                                   processes=True, dashboard_address=None,
                                   silence_logs=logging.ERROR)
            client = Client(cluster)
        else:
            client = Client(settings["scheduler"], timeout="30s")
    except OSError as error:
        sys.stderr.write(f"vexfcbl-dask: cannot reach the cluster: {error}\n")
        return 1
    progress = _Bar(sys.stderr) if sys.stderr.isatty() else None
    try:
        document = decode_to_directory(client, settings["copybook"], settings["files"],
                                       settings["args"], outdir,
                                       int(settings["split_mb"] * (1 << 20)), progress)
    except (SplitFailed, decoding.DecodeError) as error:
        sys.stderr.write(f"\nvexfcbl-dask: {error}\n" if progress else f"vexfcbl-dask: {error}\n")
        sys.stderr.write(f"vexfcbl-dask: {outdir} is incomplete: no _SUCCESS written\n")
        return 1
    finally:
        client.close()
        if cluster:
            cluster.close()
    for line in document["warnings"]:
        sys.stderr.write(line + "\n")
    sys.stderr.write(f"vexfcbl-dask: {document['records_read']} records read, "
                     f"{document['records_written']} written, {document['records_warned']} "
                     f"with warnings, in {len(document['parts'])} parts\n")
    return 0
