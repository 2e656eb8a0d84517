"""vexfcbl-dask's run: one task per split on a Dask cluster, parts in input order, _SUCCESS last.

A run that stops (a failed split, Ctrl-C) leaves its complete parts and OUTDIR/_progress,
which records the plan and each complete part's counts, so that a run with resume=True
decodes only the parts still missing.
"""

import dataclasses
import hashlib
import json
import os
import re
import shutil

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
    from distributed import as_completed

    found = [] if hints is None else hints
    splits = decoding.plan(copybook, paths, args, split_bytes, hints=found)
    extension = _extension(args)
    key = _plan_key(splits)
    os.makedirs(os.path.join(outdir, PROGRESS), exist_ok=True)
    results = [None] * len(splits)
    if resume:
        for index, result in _done_parts(outdir, key, len(splits)).items():
            results[index] = result
    else:
        _write_json(os.path.join(outdir, PROGRESS, "plan.json"), {"key": key})
    missing = [split for split in splits if results[split.index] is None]
    task = decoding.shipped(decoding.write_part)
    futures = [client.submit(task, dataclasses.asdict(split), outdir, extension,
                             pure=False,
                             key=f"vexfcbl-part-{split.index:05d}-{os.getpid()}-{id(splits)}")
               for split in missing]
    index = {future.key: split for future, split in zip(futures, missing)}
    done = len(splits) - len(missing)
    if progress:
        progress(done, len(splits))
    try:
        for future in as_completed(futures):
            split = index[future.key]
            # result() rather than the status: a part whose result was held
            # by a worker that died since is computed again, and waited for.
            try:
                results[split.index] = future.result()
            except Exception as error:
                raise SplitFailed(_failure(split, error)) from error
            _write_json(os.path.join(outdir, PROGRESS, f"part-{split.index:05d}.json"),
                        results[split.index])
            done += 1
            if progress:
                progress(done, len(splits))
    except BaseException:
        # Ctrl-C or a kill may have stopped the workers too: a cancel that
        # cannot reach them must not take the place of what stopped the run.
        try:
            client.cancel(futures)
        except BaseException:  # asyncio's CancelledError too, or the signal again
            pass
        shutil.rmtree(os.path.join(outdir, TEMPORARY), ignore_errors=True)
        raise
    shutil.rmtree(os.path.join(outdir, TEMPORARY), ignore_errors=True)
    document = _write_success(outdir, results, found)
    shutil.rmtree(os.path.join(outdir, PROGRESS), ignore_errors=True)
    return document


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
