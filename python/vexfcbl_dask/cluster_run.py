"""vexfcbl-dask's run: one task per split on a Dask cluster, parts in input order, _SUCCESS last."""

import dataclasses
import json
import os
import shutil

from distributed import as_completed

from . import decoder as decoding


class SplitFailed(Exception):
    """A split could not be decoded; the message says which and why."""


def _extension(args):
    for option, value in zip(args, args[1:]):
        if option == "-format" and value == "csv":
            return "csv"
    return "jsonl"


def decode_to_directory(client, copybook, paths, args, outdir, split_bytes, progress=None):
    """Decodes `paths` with `copybook` and decoder options `args` on the cluster
    of `client` into OUTDIR/part-NNNNN.jsonl (or .csv), one part per split in
    input order, then writes OUTDIR/_SUCCESS. `progress(done, total)` is
    called as parts complete. Returns the _SUCCESS document; raises
    SplitFailed (nothing of _SUCCESS written) when a split fails."""
    splits = decoding.plan(copybook, paths, args, split_bytes)
    extension = _extension(args)
    os.makedirs(outdir, exist_ok=True)
    task = decoding.shipped(decoding.write_part)
    futures = [client.submit(task, dataclasses.asdict(split), outdir, extension,
                             pure=False,
                             key=f"vexfcbl-part-{split.index:05d}-{os.getpid()}-{id(splits)}")
               for split in splits]
    index = {future.key: split for future, split in zip(futures, splits)}
    results = [None] * len(splits)
    if progress:
        progress(0, len(splits))
    try:
        for done, future in enumerate(as_completed(futures), 1):
            split = index[future.key]
            # result() rather than the status: a part whose result was held
            # by a worker that died since is computed again, and waited for.
            try:
                results[split.index] = future.result()
            except Exception as error:
                raise SplitFailed(_failure(split, error)) from error
            if progress:
                progress(done, len(splits))
    except BaseException:
        client.cancel(futures)
        shutil.rmtree(os.path.join(outdir, "_temporary"), ignore_errors=True)
        raise
    shutil.rmtree(os.path.join(outdir, "_temporary"), ignore_errors=True)
    return _write_success(outdir, results)


def _failure(split, error):
    text = str(error)
    if text.startswith(split.describe()):
        return text
    # KilledWorker and the like: Dask gave up on the task.
    return f"{split.describe()} failed: {type(error).__name__}: {text}"


def _write_success(outdir, results):
    """Numbers the warnings as one run over all files numbers them (each split's
    first record follows the records of the splits before it) and writes
    _SUCCESS through a temporary name."""
    parts = []
    warnings = []
    totals = {"records_read": 0, "records_written": 0, "records_warned": 0}
    for result in results:
        delta = totals["records_read"] + 1 - result["first_record"]
        result = dict(result, first_record=totals["records_read"] + 1)
        warnings += decoding.renumber(result.pop("warnings"), result["file"], delta)
        parts.append(result)
        for key in totals:
            totals[key] += result[key]
    document = {"parts": parts, **totals, "warnings": warnings}
    temporary = os.path.join(outdir, "_SUCCESS.tmp")
    with open(temporary, "w", encoding="utf-8") as file:
        json.dump(document, file, indent=1)
        file.write("\n")
    os.replace(temporary, os.path.join(outdir, "_SUCCESS"))
    return document
