"""vexfcbl-dask's run: one task per split on a Dask cluster, parts in input order, _SUCCESS last.

A run that stops (a failed split, Ctrl-C) leaves its complete parts and OUTDIR/_progress,
which records the plan and each complete part's counts, so that a run with resume=True
decodes only the parts still missing.
"""

import dataclasses
import hashlib
import json
import os
import queue
import re
import shutil
import threading

from . import decoder as decoding

PROGRESS = "_progress"
TEMPORARY = "_temporary"
_PART = re.compile(r"^part-\d{5}\.(jsonl|csv|avro|parquet)$")


class SplitFailed(Exception):
    """A split could not be decoded; the message says which and why."""


class ResumeRefused(Exception):
    """OUTDIR cannot be continued: the message says why and what to do."""


def _extension(args):
    """The part files' extension: -format csv, avro or parquet writes one file of its own
    format per range (an Avro or Parquet file each, with its own header and footer)."""
    for option, value in zip(args, args[1:]):
        if option == "-format" and value in ("csv", "avro", "parquet"):
            return value
    return "jsonl"


def _plan_key(splits):
    """What a part's bytes depend on: the copybook, the options, the ranges and
    the data files as they are now (size and modification time)."""
    digest = hashlib.sha256()
    files = {}
    for split in splits:
        if split.path not in files:
            status = os.stat(split.path)
            files[split.path] = [status.st_size, status.st_mtime_ns]
        digest.update(json.dumps([split.index, split.path, split.start, split.end,
                                  split.first_record, [name for name, _ in split.copybooks],
                                  split.args]).encode())
        for _, text in split.copybooks:
            digest.update(hashlib.sha256(text).digest())
    digest.update(json.dumps(files, sort_keys=True).encode())
    return digest.hexdigest()


def _write_json(path, document):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as file:
        json.dump(document, file, indent=1)
        file.write("\n")
    os.replace(temporary, path)


def _done_parts(outdir, key, count):
    """The results of the parts a stopped run completed, by split index;
    ResumeRefused when OUTDIR was not left by a run of this very plan."""
    try:
        with open(os.path.join(outdir, PROGRESS, "plan.json"), encoding="utf-8") as file:
            recorded = json.load(file)
    except (OSError, ValueError):
        raise ResumeRefused(f"{outdir} holds no stopped run to resume: "
                            "give --overwrite to start over") from None
    if recorded.get("key") != key:
        raise ResumeRefused(f"{outdir} was written with other data, copybook or options: "
                            "give --overwrite to start over") from None
    done = {}
    for index in range(count):
        try:
            with open(os.path.join(outdir, PROGRESS, f"part-{index:05d}.json"),
                      encoding="utf-8") as file:
                result = json.load(file)
        except (OSError, ValueError):
            continue
        # A part counts only with its file: the record of its counts is
        # written after the part was renamed into place.
        if os.path.isfile(os.path.join(outdir, result["part"])):
            done[index] = result
    return done


def clear_outdir(outdir):
    """Removes what a run of vexfcbl-dask writes into OUTDIR (parts, _SUCCESS,
    _progress, _temporary). Returns the names of anything else there, which
    is left alone."""
    others = []
    for name in sorted(os.listdir(outdir)):
        path = os.path.join(outdir, name)
        if name in (PROGRESS, TEMPORARY) and os.path.isdir(path):
            shutil.rmtree(path)
        elif name in ("_SUCCESS", "_SUCCESS.tmp") or _PART.match(name):
            os.remove(path)
        else:
            others.append(name)
    return others


def decode_to_directory(client, copybook, paths, args, outdir, split_bytes, progress=None,
                        resume=False, hints=None):
    """Decodes `paths` with `copybook` (a path, or a list of them as -i repeated)
    and decoder options `args` on the cluster
    of `client` into OUTDIR/part-NNNNN.jsonl (or .csv), one part per split in
    input order, then writes OUTDIR/_SUCCESS. `progress(done, total)` is
    called as parts complete. resume=True keeps the parts a stopped run of
    the same plan completed and decodes the others (ResumeRefused when OUTDIR
    holds no such run). The decoder's hints about the data are appended to
    the list `hints`. Returns the _SUCCESS document; raises SplitFailed
    (nothing of _SUCCESS written) when a split fails."""
    return DirectoryRun(copybook, paths, args, outdir, split_bytes, resume, hints).finish(
        client, progress)


class DirectoryRun:
    """decode_to_directory() in two steps, so that a program can plan (and begin
    decoding, head_start()) before its cluster is up: the constructor plans the
    splits and records the plan in OUTDIR/_progress, finish() decodes what is
    missing on a cluster and writes _SUCCESS."""

    def __init__(self, copybook, paths, args, outdir, split_bytes, resume=False, hints=None):
        self.found = [] if hints is None else hints
        self.splits = decoding.plan(copybook, paths, args, split_bytes, hints=self.found)
        self.outdir = outdir
        self.extension = _extension(args)
        key = _plan_key(self.splits)
        os.makedirs(os.path.join(outdir, PROGRESS), exist_ok=True)
        self.results = [None] * len(self.splits)
        if resume:
            for index, result in _done_parts(outdir, key, len(self.splits)).items():
                self.results[index] = result
        else:
            _write_json(os.path.join(outdir, PROGRESS, "plan.json"), {"key": key})
        self.head = None

    def missing(self):
        return [split for split in self.splits if self.results[split.index] is None]

    def head_start(self):
        """Begins decoding the first missing splits in this process, one after
        another, until finish() hands the rest to the cluster: the minute a
        local cluster takes to start is spent decoding."""
        # Known before its thread runs: a signal between the two must find a
        # head start that stop() can end, not a thread nobody knows of
        # writing into _temporary.
        self.head = _HeadStart(self.missing(), self.outdir, self.extension)
        self.head.begin()

    def stop(self):
        """Ends the head start's decoding, for a run that is being stopped."""
        if self.head:
            self.head.stop()
        shutil.rmtree(os.path.join(self.outdir, TEMPORARY), ignore_errors=True)

    def finish(self, client, progress=None):
        from distributed import as_completed

        outdir = self.outdir
        splits = self.splits
        results = self.results
        done = len(splits) - len(self.missing())
        if progress:
            progress(done, len(splits))
        head = self.head
        missing = head.close() if head else self.missing()
        task = decoding.shipped(decoding.write_part)
        futures = [client.submit(task, dataclasses.asdict(split), outdir, self.extension,
                                 pure=False,
                                 key=f"vexfcbl-part-{split.index:05d}-{os.getpid()}-{id(splits)}")
                   for split in missing]
        index = {future.key: split for future, split in zip(futures, missing)}

        def completed(split, result):
            nonlocal done
            results[split.index] = result
            _record(outdir, split.index, result)
            done += 1
            if progress:
                progress(done, len(splits))

        def head_parts(wait):
            for split, result, error in head.parts(wait) if head else ():
                if error is not None:
                    raise SplitFailed(_failure(split, error)) from error
                completed(split, result)

        try:
            head_parts(False)
            for future in as_completed(futures):
                split = index[future.key]
                # result() rather than the status: a part whose result was held
                # by a worker that died since is computed again, and waited for.
                try:
                    result = future.result()
                except Exception as error:
                    raise SplitFailed(_failure(split, error)) from error
                completed(split, result)
                head_parts(False)
            head_parts(True)
        except BaseException:
            # Ctrl-C or a kill may have stopped the workers too: a cancel that
            # cannot reach them must not take the place of what stopped the run.
            try:
                client.cancel(futures)
            except BaseException:  # asyncio's CancelledError too, or the signal again
                pass
            self.stop()
            raise
        shutil.rmtree(os.path.join(outdir, TEMPORARY), ignore_errors=True)
        document = _write_success(outdir, results, self.found)
        shutil.rmtree(os.path.join(outdir, PROGRESS), ignore_errors=True)
        return document


def _record(outdir, index, result):
    """A complete part's counts, which --resume keeps; written after the part
    was renamed into place."""
    _write_json(os.path.join(outdir, PROGRESS, f"part-{index:05d}.json"), result)


class _ForkGuard:
    """Held by the head start while it makes a decoder's process, and taken by
    any other thread of this process that forks (a local cluster forks its
    workers while the head start runs): a process forked in between would
    keep the end of the pipe through which the new process reports its exec,
    and the head start would wait on it forever."""

    def __init__(self):
        self._lock = threading.Lock()
        self._local = threading.local()
        os.register_at_fork(before=self._before, after_in_parent=self._after,
                            after_in_child=self._reset)

    def __enter__(self):
        self._local.making = True
        self._lock.acquire()

    def __exit__(self, *exc):
        self._lock.release()
        self._local.making = False

    def _before(self):
        if not getattr(self._local, "making", False):
            self._lock.acquire()

    def _after(self):
        if not getattr(self._local, "making", False):
            self._lock.release()

    def _reset(self):
        self._lock = threading.Lock()
        self._local = threading.local()


_FORK_GUARD = None


def _fork_guard():
    global _FORK_GUARD
    if _FORK_GUARD is None:
        _FORK_GUARD = _ForkGuard()
    return _FORK_GUARD


class _HeadStart:
    """Splits decoded by a thread of this process, from the front of the plan,
    while the cluster starts. The parts are written as a worker writes them;
    close() stops taking splits and gives the cluster the rest."""

    def __init__(self, splits, outdir, extension):
        self._waiting = list(splits)
        self._outdir = outdir
        self._extension = extension
        self._lock = threading.Lock()
        self._taken = 0
        self._given = 0
        self._closed = False
        self._process = None
        self._done = queue.Queue()
        self._guard = _fork_guard()
        self._thread = threading.Thread(target=self._work, name="vexfcbl-head-start",
                                        daemon=True)

    def begin(self):
        self._thread.start()

    def _take(self):
        with self._lock:
            if self._closed or not self._waiting:
                return None
            self._taken += 1
            return self._waiting.pop(0)

    def _started(self, process):
        with self._lock:
            self._process = process
            stopped = self._closed and self._waiting is None
        if stopped:
            process.kill()

    def _work(self):
        while (split := self._take()) is not None:
            try:
                result = decoding.write_part(dataclasses.asdict(split), self._outdir,
                                             self._extension, self._started, self._guard)
            except Exception as error:
                self._done.put((split, None, error))
                with self._lock:
                    # A failed split ends the run: take no more.
                    self._waiting = []
                return
            self._done.put((split, result, None))

    def close(self):
        """Takes no more splits; returns those not taken, in order."""
        with self._lock:
            self._closed = True
            rest, self._waiting = self._waiting, []
        return rest

    def parts(self, wait):
        """The parts decoded since the last call, as (split, result, error):
        with `wait`, every part of a split taken, once close() was called."""
        while True:
            with self._lock:
                if self._given == self._taken and (not wait or self._closed):
                    return
            try:
                part = self._done.get(block=wait)
            except queue.Empty:
                return
            self._given += 1
            yield part

    def stop(self):
        with self._lock:
            self._closed = True
            self._waiting = None
            process = self._process
        if process and process.poll() is None:
            process.kill()
        # The thread may be between taking a split and starting its decoder
        # (which _started then kills): its part's file in _temporary is made
        # by then, and would outlive the _temporary the run removes next.
        if self._thread.is_alive() and self._thread is not threading.current_thread():
            self._thread.join(timeout=30)


def _failure(split, error):
    text = str(error)
    if text.startswith(split.describe()):
        return text
    # KilledWorker and the like: Dask gave up on the task.
    return f"{split.describe()} failed: {type(error).__name__}: {text}"


def _write_success(outdir, results, hints):
    """Numbers the warnings as one run over all files numbers them (each split's
    first record follows the records of the splits before it) and writes
    _SUCCESS through a temporary name."""
    parts = []
    warnings = []
    totals = {"records_read": 0, "records_written": 0, "records_warned": 0}
    file_base = 0
    previous = None
    for result in results:
        result = dict(result)
        if previous is None or result["file"] != previous["file"] or \
                result["start"] <= previous["start"]:
            file_base = totals["records_read"]
        previous = result
        # A split that knows its first record's number in the file numbers
        # its records as the single run does, past the records of the files
        # before: even when it skipped records before a hierarchy's first
        # root, which the split before it read. L splits count from 1.
        if result.pop("numbered", False):
            delta = file_base
        else:
            delta = totals["records_read"] + 1 - result["first_record"]
        result = dict(result, first_record=totals["records_read"] + 1)
        warnings += decoding.renumber(result.pop("warnings"), result["file"], delta)
        parts.append(result)
        for key in totals:
            totals[key] += result[key]
    document = {"parts": parts, **totals, "warnings": warnings, "hints": list(hints)}
    _write_json(os.path.join(outdir, "_SUCCESS"), document)
    return document
