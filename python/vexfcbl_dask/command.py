"""The vexfcbl-dask command line."""

import logging
import os
import shutil
import signal
import subprocess
import sys

from . import cluster_run
from . import decoder as decoding
from . import encoder as encoding

USAGE = """\
Usage: vexfcbl-dask -i COPYBOOK... [decoder options] (--scheduler ADDRESS | --local N)
                    [--split-mb MB] [--resume | --overwrite] [-q] -o OUTDIR DATAFILE...
       vexfcbl-dask --encode -i COPYBOOK [encoder options] (--scheduler ADDRESS | --local N)
                    [--split-mb MB] [-q] -o DATAFILE JSONFILE...
Decodes the data files with vexfcbl-decode on a Dask cluster, one task per split
of about MB megabytes, into OUTDIR/part-NNNNN.jsonl (or .csv, .avro, .parquet) in
input order and OUTDIR/_SUCCESS when every part is complete.
Options:
  -i COPYBOOK          the COBOL copybook; may be repeated (decoding): the records
                       of all of them are candidates for -record and -when.
  -o OUTDIR            output folder; created, and must be empty when it exists.
  --resume             OUTDIR holds a run that stopped: keep its complete parts
                       and decode the others (the same data, copybook and options).
  --overwrite          OUTDIR holds an earlier run: remove it and start over.
  --scheduler ADDRESS  a running Dask scheduler (tcp://host:8786).
  --local N            a cluster of N worker processes on this machine.
  --split-mb MB        split size in megabytes; 128 by default.
  -q                   no bar of parts done, no summary line.
  -?, --help           print this usage message.
  --version            print the version.
Decoder options, passed to vexfcbl-decode as they are:
  -f -c -lenient -fillers -trim -strict -raw -variable-occurs, and -d -e -recfm
  -lrecl -codepage -dbcs -byteorder -float -record -when -format -codec
  -row-group-mb -rdw -rdw-adjust -skip-bytes -skip-trailer-bytes -length-field
  -length-map -header -trailer -segment -child -select -where with their
  values, and -ids (-header and -trailer lines go to the part that holds the
  file's first or last record; with -child each part holds whole trees, from a
  root record). Not here: -j, -range and -splits (the splits are the tasks),
  -header-out, -schema and -diagnose (vexfcbl-decode's, on one machine).
--encode writes the records of JSON Lines files (as vexfcbl-decode writes them)
into DATAFILE with vexfcbl-encode, one task per split of the JSON files, the
parts joined in order; DATAFILE appears only when every part is written.
  --encode             encode instead of decode.
Encoder options, passed to vexfcbl-encode as they are:
  -f -c -lenient -fillers -truncate -strict, and -d -e -recfm -lrecl
  -blocksize -rdworder -codepage -dbcs -byteorder -float -packed-sign -record
  -when -fill -null with their values.
"""

_VALUES = {"-d", "-e", "-recfm", "-lrecl", "-codepage", "-dbcs", "-byteorder", "-float",
           "-record", "-when", "-format", "-rdw", "-rdw-adjust", "-skip-bytes",
           "-skip-trailer-bytes", "-length-field", "-length-map", "-header", "-trailer",
           "-segment", "-child", "-select", "-where", "-codec", "-row-group-mb"}
_FLAGS = {"-f", "-c", "-lenient", "-fillers", "-trim", "-strict", "-raw", "-variable-occurs",
          "-ids"}
_ENCODE_VALUES = {"-d", "-e", "-recfm", "-lrecl", "-blocksize", "-rdworder", "-codepage", "-dbcs",
                  "-byteorder", "-float", "-packed-sign", "-record", "-when", "-fill", "-null"}
_ENCODE_FLAGS = {"-f", "-c", "-lenient", "-fillers", "-truncate", "-strict"}
_REFUSED = {"-j": "each split is one task; the workers are the parallelism",
            "-range": "the splits are planned by vexfcbl-dask",
            "-splits": "the splits are planned by vexfcbl-dask",
            "-header-out": "each task writes a part; -header and -trailer lines go into the parts",
            "-schema": "the parts are decoded by tasks; vexfcbl-decode -schema writes the "
                       "schema of the same options",
            "-schema-format": "the parts are decoded by tasks; vexfcbl-decode -schema writes "
                              "the schema of the same options",
            "-sql-arrays": "the parts are decoded by tasks; vexfcbl-decode -schema writes the "
                           "schema of the same options",
            "-diagnose": "vexfcbl-decode -diagnose judges one file on one machine",
            "-sample": "vexfcbl-decode -diagnose judges one file on one machine",
            "-diagnose-json": "vexfcbl-decode -diagnose judges one file on one machine",
            "-diagnose-html": "vexfcbl-decode -diagnose judges one file on one machine"}


class UsageError(Exception):
    pass


def parse(argv):
    encode = "--encode" in argv
    settings = {"copybooks": [], "outdir": None, "scheduler": None, "local": None,
                "split_mb": 128.0, "args": [], "files": [], "resume": False,
                "overwrite": False, "quiet": False, "encode": encode}
    values, flags = (_ENCODE_VALUES, _ENCODE_FLAGS) if encode else (_VALUES, _FLAGS)
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
        if item == "-i" and settings["copybooks"] and encode:
            raise UsageError("-i: --encode takes one copybook, as vexfcbl-encode does")
        if item == "-i":
            settings["copybooks"].append(value(item))
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
        elif item == "--encode":
            pass
        elif item in ("--resume", "--overwrite") and encode:
            raise UsageError(f"{item} is for decoding; --encode writes one data file whole or not at all")
        elif item == "-format" and encode:
            raise UsageError("--encode reads JSON Lines; -format is not an option here")
        elif item in ("--resume", "--overwrite"):
            settings[item[2:]] = True
        elif item == "-q":
            settings["quiet"] = True
        elif item in values:
            settings["args"] += [item, value(item)]
        elif item in flags:
            settings["args"].append(item)
        elif item in _REFUSED:
            raise UsageError(f"{item} is not an option of vexfcbl-dask: {_REFUSED[item]}")
        elif item.startswith("-") and item != "-":
            raise UsageError(f"unknown option {item}")
        else:
            settings["files"].append(item)
    if not settings["copybooks"]:
        raise UsageError("-i COPYBOOK is missing")
    # The first copybook is the one --encode and the messages name.
    settings["copybook"] = settings["copybooks"][0]
    if not settings["outdir"]:
        raise UsageError("-o DATAFILE is missing" if encode else "-o OUTDIR is missing")
    if (settings["scheduler"] is None) == (settings["local"] is None):
        raise UsageError("give one of --scheduler ADDRESS and --local N")
    if not settings["files"] or "-" in settings["files"]:
        raise UsageError(("name the JSON Lines files" if encode else "name the data files") +
                         " (standard input cannot be split)")
    if settings["resume"] and settings["overwrite"]:
        raise UsageError("give one of --resume and --overwrite")
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


# Run in each worker process of a local cluster as it starts. Ctrl-C reaches
# every process of the terminal's group: this program stops the cluster, so
# the workers need not hear it. What a worker would print while the cluster
# is torn down (a kill of the whole group races the nanny's shutdown) is no
# message for the user: every failure of a task reaches this program, which
# reports it in one line.
_QUIET_WORKER = """\
import os
import signal
signal.signal(signal.SIGINT, signal.SIG_IGN)
os.dup2(os.open(os.devnull, os.O_WRONLY), 2)
"""


class _Terminated(BaseException):
    """SIGTERM, raised where the program stands so that it ends as after Ctrl-C."""


# Set by SIGTERM: the exception the handler raises may land in code of
# Dask's that takes any exception for a failed try and goes on; the run's
# end then still ends as the signal asked.
_terminated = False


def _terminate(signum, frame):
    global _terminated
    _terminated = True
    _quiet_cluster()
    raise _Terminated()


def _quiet_cluster():
    """Nothing more from Dask's loggers once the run is being stopped: a
    SIGTERM sent to the process group ends the local workers too, and their
    nannies, in this process, try to start them again; the close cancels
    that, and Dask logs the cancellation as an error with its traceback, which
    would come before the run's one line."""
    logging.disable(logging.CRITICAL)


def _prepare(outdir, settings):
    """Checks OUTDIR for the run: a message for a refusal, or None."""
    if not os.path.isdir(outdir) or not os.listdir(outdir):
        settings["resume"] = False  # nothing to continue: a new run
        return None
    if settings["overwrite"]:
        others = cluster_run.clear_outdir(outdir)
        if others:
            return (f"{outdir} holds files vexfcbl-dask did not write ({', '.join(others[:3])}"
                    f"{', ...' if len(others) > 3 else ''}): remove them or give another -o")
        return None
    if settings["resume"]:
        if os.path.exists(os.path.join(outdir, "_SUCCESS")):
            return f"{outdir} is complete: nothing to resume (--overwrite starts over)"
        return None
    return (f"{outdir} is not empty: --resume finishes a run that stopped, "
            f"--overwrite starts over")


def main(argv):
    try:
        settings = parse(argv)
    except UsageError as error:
        sys.stderr.write(f"vexfcbl-dask: {error} (--help lists the options)\n")
        return 1
    if settings is None:
        sys.stdout.write(USAGE)
        return 0
    if settings == "version":
        print(_version())
        return 0
    outdir = settings["outdir"]
    try:
        for copybook in settings["copybooks"]:
            decoding.read_copybook(copybook)
    except decoding.DecodeError as error:
        sys.stderr.write(f"vexfcbl-dask: {error}\n")
        return 1
    for path in settings["files"]:
        if not os.path.isfile(path):
            reason = "No such file or directory" if not os.path.exists(path) else \
                "Is a directory" if os.path.isdir(path) else "not a regular file"
            sys.stderr.write(f"vexfcbl-dask: cannot read {path}: {reason}\n")
            return 1
    previous = signal.signal(signal.SIGTERM, _terminate)
    try:
        return _encode(settings) if settings["encode"] else _run(settings, outdir)
    except KeyboardInterrupt:
        status, why = 130, "interrupted"
    except _Terminated:
        status, why = 143, "terminated"
    finally:
        signal.signal(signal.SIGTERM, previous)
    ending = "\n" if settings.get("bar") else ""
    if settings["encode"]:
        sys.stderr.write(f"{ending}vexfcbl-dask: {why}: {outdir} left as it was\n")
    elif os.path.isdir(os.path.join(outdir, cluster_run.PROGRESS)):
        sys.stderr.write(f"{ending}vexfcbl-dask: {why}: {outdir} is incomplete: --resume "
                         f"finishes it, --overwrite starts over\n")
    else:
        sys.stderr.write(f"{ending}vexfcbl-dask: {why}\n")
    if settings["local"]:
        _end_now(status)
    return status


def _end_now(status):
    """The end of a local run a signal stopped. The interpreter's own exit
    would join the local cluster's threads and worker processes, and a signal
    that came while the cluster started leaves them half made, waiting on
    each other (and on workers the same signal ended) for ever. The workers
    still there are killed and the process ends here, its one line written."""
    import multiprocessing

    for child in multiprocessing.active_children():
        child.kill()
    # A worker being spawned as the signal came is not yet among them, nor is
    # multiprocessing's resource tracker, nor what they started; left, each
    # lives on until it finds its parent gone, which on a busy machine may
    # take its whole start.
    for pid in _children():
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
    sys.stdout.flush()
    sys.stderr.flush()
    os._exit(status)


def _children():
    """The processes descended from this one, children and theirs (none where
    /proc is not there), found all before any is killed: a child killed first
    would leave its own children to init, out of reach."""
    parents = {}
    try:
        names = os.listdir("/proc")
    except OSError:
        return []
    for name in names:
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                parents.setdefault(int(f.read().rsplit(")", 1)[1].split()[1]), []).append(int(name))
        except (OSError, IndexError, ValueError):
            continue
    found = []
    waiting = [os.getpid()]
    while waiting:
        for child in parents.get(waiting.pop(), []):
            found.append(child)
            waiting.append(child)
    return found


def _client(settings):
    """A client of the cluster the options name, and the local cluster it
    started (None for a scheduler's)."""
    # Imported here: --help and usage errors need no cluster library.
    from distributed import Client, LocalCluster

    if settings["local"]:
        # The worker processes log as this one: errors only (ours are
        # reported as messages of this program).
        os.environ.setdefault("DASK_LOGGING__DISTRIBUTED", "error")
        _fork_workers()
        cluster = LocalCluster(n_workers=settings["local"], threads_per_worker=1,
                               processes=True, dashboard_address=None,
                               # Its HTTP server on a free port, not beside
                               # a dashboard that holds 8787.
                               scheduler_kwargs={"dashboard_address": ":0"},
                               silence_logs=logging.CRITICAL, preload=[_QUIET_WORKER])
        try:
            return Client(cluster), cluster
        except OSError:
            cluster.close()
            raise
    return Client(settings["scheduler"], timeout="30s"), None


def _fork_workers():
    """Local workers forked from this process rather than spawned: a spawned
    worker starts a new interpreter and imports Dask again, which took most
    of a second of every run (and the stop waited on it again). The tasks
    run vexfcbl-decode in a process of its own, so no state of this one
    matters to them. A method other than the default set in Dask's
    configuration is kept."""
    import dask

    key = "distributed.worker.multiprocessing-method"
    if "DASK_DISTRIBUTED__WORKER__MULTIPROCESSING_METHOD" not in os.environ and \
            dask.config.get(key, "spawn") == "spawn":
        dask.config.set({key: "fork"})
    # A worker forked from this process (or from a fork server forked from
    # it) would keep the program's SIGTERM handler: a SIGTERM to the process
    # group would unwind it with a traceback instead of ending it.
    os.register_at_fork(after_in_child=_default_sigterm)


def _default_sigterm():
    try:
        signal.signal(signal.SIGTERM, signal.SIG_DFL)
    except ValueError:  # not the main thread: nothing of ours to undo there
        pass


def _close(client, cluster, stopping):
    """Closes the client and the local cluster. When Ctrl-C or a kill stops the
    run, the same signal may have stopped workers or the scheduler: a close
    that fails then must not take the place of what stopped the run (its one
    line and status), whenever the signal came."""
    if stopping:
        _quiet_cluster()
    try:
        client.close()
        if cluster:
            cluster.close()
    except BaseException:  # asyncio's CancelledError too, or the signal again
        if not stopping:
            raise
    if _terminated and not stopping:
        raise _Terminated()


def _encode(settings):
    """--encode: the JSON Lines files, split, into one data file."""
    import dask.bag

    if os.path.isdir(settings["outdir"]):
        sys.stderr.write(f"vexfcbl-dask: cannot write {settings['outdir']}: Is a directory\n")
        return 1
    try:
        client, cluster = _client(settings)
    except OSError as error:
        sys.stderr.write(f"vexfcbl-dask: cannot reach the cluster: {error}\n")
        return 1
    stopping = False
    try:
        lines = dask.bag.read_text(settings["files"],
                                   blocksize=max(1, int(settings["split_mb"] * (1 << 20))))
        document = encoding.write_partitions(lines.to_delayed(), settings["copybook"],
                                             settings["outdir"], settings["args"],
                                             inputs=settings["files"])
    except encoding.EncodeError as error:
        sys.stderr.write(f"vexfcbl-dask: {error}\n")
        sys.stderr.write(f"vexfcbl-dask: nothing written to {settings['outdir']}\n")
        return 1
    except BaseException:
        stopping = True
        raise
    finally:
        _close(client, cluster, stopping)
    for line in document["warnings"]:
        sys.stderr.write(line + "\n")
    if not settings["quiet"]:
        sys.stderr.write(f"vexfcbl-dask: {document['records_read']} records read, "
                         f"{document['records_written']} written, {document['records_skipped']} "
                         f"skipped, in {document['parts']} parts\n")
    return 0


def _run(settings, outdir):
    try:
        refused = _prepare(outdir, settings)
    except OSError as error:
        refused = f"cannot clear {outdir}: {error.strerror}"
    if refused:
        sys.stderr.write(f"vexfcbl-dask: {refused}\n")
        return 1

    hints = []
    run = None
    if settings["local"]:
        # Planned first, and the first splits decoded here while the local
        # cluster starts: that start (Dask's import, the scheduler, the
        # workers) was most of a second of every run with nothing decoded.
        try:
            run = cluster_run.DirectoryRun(settings["copybooks"], settings["files"],
                                           settings["args"], outdir,
                                           int(settings["split_mb"] * (1 << 20)),
                                           resume=settings["resume"], hints=hints)
        except (cluster_run.ResumeRefused, decoding.DecodeError, OSError) as error:
            return _failed(error, outdir, None)
    # Connected here: --help and usage errors need no cluster library.
    try:
        if run:
            run.head_start()
        client, cluster = _client(settings)
    except OSError as error:
        if run:
            run.stop()
        sys.stderr.write(f"vexfcbl-dask: cannot reach the cluster: {error}\n")
        return 1
    except BaseException:
        if run:
            run.stop()
        raise
    progress = _Bar(sys.stderr) if sys.stderr.isatty() and not settings["quiet"] else None
    settings["bar"] = progress is not None
    stopping = False
    try:
        if not run:
            run = cluster_run.DirectoryRun(settings["copybooks"], settings["files"],
                                           settings["args"], outdir,
                                           int(settings["split_mb"] * (1 << 20)),
                                           resume=settings["resume"], hints=hints)
        document = run.finish(client, progress)
    except (cluster_run.SplitFailed, cluster_run.ResumeRefused, decoding.DecodeError,
            OSError) as error:
        return _failed(error, outdir, progress)
    except BaseException:
        stopping = True
        raise
    finally:
        _close(client, cluster, stopping)
        # Once the local workers are gone none of them can make it again.
        shutil.rmtree(os.path.join(outdir, cluster_run.TEMPORARY), ignore_errors=True)
    for line in document["warnings"]:
        sys.stderr.write(line + "\n")
    if not settings["quiet"]:
        sys.stderr.write(f"vexfcbl-dask: {document['records_read']} records read, "
                         f"{document['records_written']} written, {document['records_warned']} "
                         f"with warnings, in {len(document['parts'])} parts\n")
        for hint in hints:
            sys.stderr.write(f"vexfcbl-dask: {hint}\n")
    return 0


def _failed(error, outdir, progress):
    """The message of a run that could not complete; its status."""
    text = f"cannot write {outdir}: {error.strerror}" if isinstance(error, OSError) \
        else str(error)
    sys.stderr.write(f"\nvexfcbl-dask: {text}\n" if progress else f"vexfcbl-dask: {text}\n")
    if isinstance(error, cluster_run.SplitFailed):
        sys.stderr.write(f"vexfcbl-dask: {outdir} is incomplete: no _SUCCESS written\n")
    return 1
