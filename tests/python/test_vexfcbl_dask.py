"""vexfcbl-dask on a local cluster of two worker processes: the parts of F, V, VB
and L files equal one vexfcbl-decode run, through a killed worker too; a run
stopped by Ctrl-C ends with one line and is resumed or started over; write()
and --encode give back the file the records were read from.

Run by ctest with VEXFCBL_DECODE and VEXFCBL_ENCODE naming the built programs
and PYTHONPATH the python/ folder: /usr/bin/python3 -m unittest test_vexfcbl_dask
"""

import decimal
import json
import logging
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import pandas
from distributed import Client, LocalCluster

import vexfcbl_dask
from vexfcbl_dask import cluster_run

DECODER = os.environ["VEXFCBL_DECODE"]
COMMAND = os.path.join(os.path.dirname(vexfcbl_dask.__file__), "..", "vexfcbl-dask")

COPYBOOK = """\
       01  T-REC.
           05  T-ID     PIC 9(6).
           05  T-AMT    PIC S9(5)V99 COMP-3.
           05  T-NAME   PIC X(10).
"""
RECORD = 20
HIERARCHY = """\
       01  CUSTOMER.
           05  C-SEG        PIC X.
           05  C-ID         PIC 9(6).
           05  C-NAME       PIC X(9).
       01  ACCOUNT.
           05  A-SEG        PIC X.
           05  A-NO         PIC X(8).
           05  A-BAL        PIC S9(7)V99 COMP-3.
       01  TXN.
           05  T-SEG        PIC X.
           05  T-DATE       PIC 9(8).
           05  FILLER       PIC X(7).
"""
BAD_EVERY = 101  # every 101st record (index 7, 108, ...) has an invalid packed digit


def record(i):
    amount = (i * 7919) % 10_000_000 * (-1 if i % 3 == 0 else 1)
    digits = ("A" if i % BAD_EVERY == 7 else "") + "%07d" % abs(amount)
    digits = digits[:7]
    sign = "D" if amount < 0 else "C"
    name = ("N%d" % (i % 1000)).ljust(10)
    return ("%06d" % (i % 1_000_000)).encode() + bytes.fromhex(digits + sign) + name.encode()


def make_files(folder, count):
    """F, V, VB and L files of `count` records, each with bad data and a ragged end."""
    records = [record(i) for i in range(count)]
    with open(os.path.join(folder, "t.dat"), "wb") as f:
        f.write(b"".join(records) + b"123")
    with open(os.path.join(folder, "t.v"), "wb") as f:
        for i, r in enumerate(records):
            data = r + (b"XY" if i % 53 == 1 else b"")
            f.write(struct.pack(">HH", len(data) + 4, 0) + data)
        f.write(struct.pack(">HH", 40, 0) + b"0001")  # cut short
    with open(os.path.join(folder, "t.vb"), "wb") as f:
        for b in range(0, count, 5):
            block = b"".join(struct.pack(">HH", RECORD + 4, 0) + r for r in records[b:b + 5])
            f.write(struct.pack(">HH", len(block) + 4, 0) + block)
    with open(os.path.join(folder, "t.txt"), "wb") as f:
        for i, r in enumerate(records):
            f.write(r[:RECORD - i % 4] + (b"\r\n" if i % 9 == 0 else b"\n"))
        f.write(b"000042")  # no newline at the end


def single_run(folder, files, args):
    """One vexfcbl-decode run: output bytes, warning lines, (read, written, warned)."""
    out = os.path.join(folder, "single.out")
    run = subprocess.run([DECODER, "-i", "t.cpy", *args, "-o", out, *files], cwd=folder,
                         capture_output=True, text=True)
    lines = [l for l in run.stderr.splitlines() if not l.startswith("vexfcbl-decode: hint: ")]
    counts = re.match(r"vexfcbl-decode: (\d+) records read, (\d+) written, (\d+) with", lines[-1])
    with open(out, "rb") as f:
        return f.read(), lines[:-1], tuple(int(n) for n in counts.groups())


def concatenated(outdir, parts):
    data = b""
    for part in parts:
        with open(os.path.join(outdir, part["part"]), "rb") as f:
            data += f.read()
    return data


SEGMENTS = ["-segment", "C-SEG", "-when", "C:CUSTOMER", "-when", "A:ACCOUNT", "-when", "T:TXN",
            "-child", "ACCOUNT:CUSTOMER", "-child", "TXN:ACCOUNT"]
# HIERARCHY's records, one copybook each.
SEGMENT_BOOKS = {"c.cpy": 0, "a.cpy": 1, "x.cpy": 2}


def copybook_arguments(books):
    return [argument for name in books for argument in ("-i", name)]


def write_hierarchy(folder):
    """Customers, their accounts and the accounts' transactions, of random
    numbers (none too), in V and VB records written by cobdata (h.v, h.vb);
    some transactions come before any account, to be warned of once. Writes
    HIERARCHY as h.cpy and as one copybook per record. Returns the number of
    records."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
    import cobdata
    import random
    with open(os.path.join(folder, "h.cpy"), "w") as f:
        f.write(HIERARCHY)
    pieces = re.split(r"(?m)^(?=       01 )", HIERARCHY)[1:]
    for name, index in SEGMENT_BOOKS.items():
        with open(os.path.join(folder, name), "w") as f:
            f.write(pieces[index])
    rng = random.Random(30)
    records = []
    for c in range(600):
        records.append(cobdata.text("C", 1) + cobdata.zoned(c, 6, signed=False)
                       + cobdata.text("N%d" % c, 9))
        if c % 97 == 5:
            records.append(cobdata.text("T", 1) + cobdata.zoned(c, 8, signed=False)
                           + cobdata.text("", 7))
        for a in range(rng.randint(0, 3)):
            records.append(cobdata.text("A", 1) + cobdata.text("A%d.%d" % (c, a), 8)
                           + cobdata.packed(rng.choice([1500, decimal.Decimal("-12.34"),
                                                        rng.randint(-10**7 + 1, 10**7 - 1)]),
                                            9, 2))
            for _ in range(rng.randint(0, 4)):
                records.append(cobdata.text("T", 1)
                               + cobdata.zoned(rng.randint(0, 99999999), 8, signed=False)
                               + cobdata.text("", 7))
    with open(os.path.join(folder, "h.v"), "wb") as f:
        f.write(cobdata.variable(records))
    with open(os.path.join(folder, "h.vb"), "wb") as f:
        f.write(cobdata.variable_blocked(records, 200))
    return len(records)


class InFolder:
    """Runs in the test folder, as a user would, so file names match the single run."""

    def __init__(self, folder):
        self.folder = folder

    def __enter__(self):
        self.previous = os.getcwd()
        os.chdir(self.folder)

    def __exit__(self, *exc):
        os.chdir(self.previous)


class ClusterTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="vexfcbl-dask-test-")
        with open(os.path.join(cls.folder, "t.cpy"), "w") as f:
            f.write(COPYBOOK)
        make_files(cls.folder, 3000)
        cls.cluster = LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                   dashboard_address=None, silence_logs=logging.ERROR)
        cls.client = Client(cls.cluster)

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        cls.cluster.close()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def decode(self, name, files, args, split_bytes):
        outdir = os.path.join(self.folder, name)
        with InFolder(self.folder):
            document = vexfcbl_dask.decode_to_directory(self.client, "t.cpy", files, args,
                                                        outdir, split_bytes)
        return outdir, document

    def expect_single_run(self, outdir, document, files, args):
        out, warnings, counts = single_run(self.folder, files, args)
        self.assertTrue(concatenated(outdir, document["parts"]) == out)
        self.assertEqual(document["warnings"], warnings)
        self.assertEqual((document["records_read"], document["records_written"],
                          document["records_warned"]), counts)
        for key in ("records_read", "records_written", "records_warned"):
            self.assertEqual(sum(p[key] for p in document["parts"]), document[key])
        with open(os.path.join(outdir, "_SUCCESS")) as f:
            self.assertEqual(json.load(f), document)
        names = sorted(p["part"] for p in document["parts"])
        self.assertEqual(sorted(os.listdir(outdir)), sorted(names + ["_SUCCESS"]))
        return warnings

    def test_every_record_format_split_in_parts_equals_one_run(self):
        for name, args in (("t.dat", ["-codepage", "ASCII"]),
                           ("t.v", ["-codepage", "ASCII", "-recfm", "V"]),
                           ("t.vb", ["-codepage", "ASCII", "-recfm", "VB"]),
                           ("t.txt", ["-codepage", "ASCII", "-recfm", "L"])):
            with self.subTest(name):
                outdir, document = self.decode("out-" + name, [name], args, 9000)
                self.assertGreaterEqual(len(document["parts"]), 5)
                warnings = self.expect_single_run(outdir, document, [name], args)
                # The plan's hint about the whole file, once: t.dat ends
                # with 3 bytes of a record.
                self.assertEqual(document["hints"], [
                    "hint: t.dat is 60003 bytes, not a multiple of the record length 20: check "
                    "that the copybook is the file's, or give -lrecl"] if name == "t.dat" else [])
                # Bad data is warned once, with its number in the whole file
                # (L ranges learn theirs only from the splits before them).
                bad = [w for w in warnings if "T-REC.T-AMT: invalid packed decimal" in w]
                self.assertEqual(len(bad), len(set(bad)))
                self.assertEqual(len([w for w in bad if ": record 2836, " in w]), 1, bad)

    def test_a_head_start_beside_a_thread_that_forks_equals_one_run(self):
        """vexfcbl-dask --local decodes the first splits in its own process while the
        cluster forks its workers: a process forked in the middle of making a
        decoder's process must not leave the head start waiting on it."""
        args = ["-codepage", "ASCII"]
        outdir = os.path.join(self.folder, "out-head")
        release, hold = os.pipe()
        children = []
        forking = threading.Event()

        def fork():
            while not forking.is_set() and len(children) < 150:
                pid = os.fork()
                if pid == 0:  # lives, holding what it inherited, until the test ends
                    os.close(hold)
                    os.read(release, 1)
                    os._exit(0)
                children.append(pid)
                time.sleep(0.01)

        forker = threading.Thread(target=fork)
        finished = {}

        def finish(run):
            finished["document"] = run.finish(self.client)

        try:
            with InFolder(self.folder):
                run = cluster_run.DirectoryRun("t.cpy", ["t.dat"], args, outdir, 600)
                self.assertEqual(len(run.splits), 101)
                run.head_start()
                forker.start()
                time.sleep(1.5)
                forking.set()
                forker.join()
                finisher = threading.Thread(target=finish, args=(run,), daemon=True)
                finisher.start()
                # Not a measure of speed: a head start that waits on a forked
                # process waits until the test ends.
                finisher.join(120)
                self.assertFalse(finisher.is_alive(), "the run waits on a forked process")
        finally:
            forking.set()
            os.close(hold)
            for pid in children:
                os.waitpid(pid, 0)
            os.close(release)
        self.assertGreater(len(children), 20)
        self.expect_single_run(outdir, finished["document"], ["t.dat"], args)

    def test_a_head_start_stopped_at_any_moment_leaves_no_temporary(self):
        """A run stopped while its head start is between taking a split and starting the
        split's decoder: the part's file, made after the stop removed _temporary, left a
        _temporary behind the stopped run."""
        args = ["-codepage", "ASCII"]
        with InFolder(self.folder):
            for attempt in range(80):
                outdir = os.path.join(self.folder, "out-stopped")
                shutil.rmtree(outdir, ignore_errors=True)
                run = cluster_run.DirectoryRun("t.cpy", ["t.dat"], args, outdir, 600)
                run.head_start()
                time.sleep(attempt % 8 * 0.002)
                run.stop()
                # What the head start's thread would still do, it does within this.
                time.sleep(0.05)
                with self.subTest(attempt=attempt):
                    # (A part it completed before the stop stays: --resume keeps it.)
                    self.assertFalse(os.path.exists(os.path.join(outdir, cluster_run.TEMPORARY)))

    def test_a_hierarchy_split_in_parts_equals_one_run(self):
        count = write_hierarchy(self.folder)
        for name, args in (("h.v", ["-recfm", "V", *SEGMENTS]),
                           ("h.vb", ["-recfm", "VB", *SEGMENTS]),
                           ("h.v", ["-recfm", "V", "-ids", *SEGMENTS])):
            with self.subTest(name=name, args=args):
                outdir = os.path.join(self.folder, "out-%s-%d" % (name, len(args)))
                with InFolder(self.folder):
                    document = vexfcbl_dask.decode_to_directory(self.client, "h.cpy", [name],
                                                                args, outdir, 4000)
                self.assertGreaterEqual(len(document["parts"]), 5)
                run = subprocess.run([DECODER, "-i", "h.cpy", *args, name], cwd=self.folder,
                                     capture_output=True)
                lines = run.stderr.decode().splitlines()
                self.assertEqual(concatenated(outdir, document["parts"]), run.stdout)
                self.assertEqual(document["warnings"], lines[:-1])
                self.assertEqual(len(lines) - 1, 7)  # the early transactions
                self.assertEqual(document["records_read"], count)
                if "-ids" not in args:
                    self.assertEqual(run.stdout.count(b"\n"), 600 + 7)

    def test_a_hierarchy_of_three_copybooks_in_parts_equals_one_run(self):
        # One copybook per segment: the parts equal the program's run with the
        # same three -i, which equals its run with the one copybook of all
        # three records.
        write_hierarchy(self.folder)
        projected = ["-ids", "-select", "C-NAME,A-BAL,T-DATE", "-where", "A-BAL=1500,-12.34",
                     "-where", "C-ID=5,7,11,600"]
        for args in (["-recfm", "V", *SEGMENTS], ["-recfm", "V", *SEGMENTS, *projected]):
            with self.subTest(args=args):
                outdir = os.path.join(self.folder, "out-three-%d" % len(args))
                with InFolder(self.folder):
                    document = vexfcbl_dask.decode_to_directory(
                        self.client, list(SEGMENT_BOOKS), ["h.v"], args, outdir, 4000)
                self.assertGreaterEqual(len(document["parts"]), 5)
                three = subprocess.run([DECODER, *copybook_arguments(SEGMENT_BOOKS), *args, "h.v"],
                                       cwd=self.folder, capture_output=True)
                one = subprocess.run([DECODER, "-i", "h.cpy", *args, "h.v"], cwd=self.folder,
                                     capture_output=True)
                self.assertEqual(three.returncode, 0, three.stderr)
                self.assertEqual(three.stdout, one.stdout)
                self.assertEqual(concatenated(outdir, document["parts"]), three.stdout)
                self.assertEqual(document["warnings"], three.stderr.decode().splitlines()[:-1])

    def test_two_files_and_csv_number_and_order_as_one_run(self):
        args = ["-codepage", "ASCII", "-format", "csv", "-recfm", "L"]
        # A second file's records are numbered on from the first's.
        shutil.copy(os.path.join(self.folder, "t.txt"), os.path.join(self.folder, "u.txt"))
        files = ["t.txt", "u.txt"]
        outdir, document = self.decode("out-csv", files, args, 20000)
        out, warnings, counts = single_run(self.folder, files, args)
        self.assertEqual(document["warnings"], warnings)
        self.assertEqual(document["records_read"], counts[0])
        # Every CSV part is a CSV file of its own, header first.
        header = out.split(b"\n", 1)[0] + b"\n"
        body = b""
        for part in document["parts"]:
            with open(os.path.join(outdir, part["part"]), "rb") as f:
                data = f.read()
            self.assertTrue(data.startswith(header))
            body += data[len(header):]
        self.assertTrue(header + body == out)
        self.assertTrue(any("u.txt: record 5837, " in w for w in warnings))

    def test_a_killed_worker_still_gives_the_whole_output(self):
        folder = os.path.join(self.folder, "big")
        os.makedirs(folder)
        shutil.copy(os.path.join(self.folder, "t.cpy"), folder)
        with open(os.path.join(folder, "big.dat"), "wb") as f:
            chunk = b"".join(record(i) for i in range(10000))
            for _ in range(60):  # 12 MB
                f.write(chunk)
        outdir = os.path.join(folder, "out")
        args = ["-codepage", "ASCII"]
        result = {}

        def run():
            try:
                with InFolder(folder):
                    result["document"] = vexfcbl_dask.decode_to_directory(
                        self.client, "t.cpy", ["big.dat"], args, outdir, 120_000)
            except BaseException as error:  # reported by the assertions below
                result["error"] = error

        thread = threading.Thread(target=run)
        thread.start()
        killed = None
        deadline = time.time() + 60
        while killed is None and time.time() < deadline and thread.is_alive():
            done = [n for n in os.listdir(outdir) if n.startswith("part-")] \
                if os.path.isdir(outdir) else []
            busy = {w: keys for w, keys in self.client.processing().items() if keys}
            if done and busy:
                pids = self.client.run(os.getpid)
                worker = next(iter(busy))
                os.kill(pids[worker], signal.SIGKILL)
                killed = (worker, len(done))
            time.sleep(0.05)
        thread.join(180)
        self.assertIsNotNone(killed, "no worker was busy to kill")
        self.assertNotIn("error", result)
        document = result["document"]
        self.assertEqual(len(document["parts"]), 100)
        self.assertLess(killed[1], 100)  # killed before the last part was done
        out, _, counts = single_run(folder, ["big.dat"], args)
        self.assertTrue(concatenated(outdir, document["parts"]) == out)
        self.assertEqual(document["records_read"], counts[0])
        self.assertEqual(sorted(os.listdir(outdir)),
                         sorted(["_SUCCESS"] + [p["part"] for p in document["parts"]]))
        # The worker did die: its nanny started a new one at another address.
        self.client.wait_for_workers(2, timeout=60)
        self.assertNotIn(killed[0], self.client.scheduler_info()["workers"])

    def test_a_failed_split_is_named_and_no_success_is_written(self):
        args = ["-codepage", "ASCII", "-recfm", "V", "-strict"]
        with self.assertRaises(vexfcbl_dask.SplitFailed) as caught:
            self.decode("out-strict", ["t.v"], args, 9000)
        message = str(caught.exception)
        # Whichever split fails first stops the run.
        self.assertRegex(message, r"^split \d+ \(t\.v bytes \d+-\d+\) failed: vexfcbl-decode "
                                  r"exited with status 1: vexfcbl-decode: error: t\.v: record \d+, "
                                  r"byte \d+: T-REC")
        self.assertFalse(os.path.exists(os.path.join(self.folder, "out-strict", "_SUCCESS")))

    def test_read_raises_the_decoders_message_and_passes_lenient(self):
        with InFolder(self.folder):
            with self.assertRaises(vexfcbl_dask.DecodeError) as caught:
                vexfcbl_dask.read("t.cpy", "t.dat", codepage="FOO")
            self.assertTrue(str(caught.exception).startswith(
                "vexfcbl-decode: -codepage FOO: not a code page of this program; -codepage help"),
                str(caught.exception))
            self.assertNotIn("Usage", str(caught.exception))
            with self.assertRaises(vexfcbl_dask.DecodeError) as caught:
                vexfcbl_dask.read("none.cpy", "t.dat")
            self.assertEqual(str(caught.exception), "cannot read none.cpy: No such file or directory")
            # BINARY-LONG is a usage only -lenient reads (a 4-byte binary number).
            with open("l.cpy", "w") as f:
                f.write("       01  L-REC.\n           05  L-N  USAGE BINARY-LONG.\n")
            with open("l.dat", "wb") as f:
                f.write(struct.pack(">i", -7) + struct.pack(">i", 70000))
            with self.assertRaises(vexfcbl_dask.DecodeError) as caught:
                vexfcbl_dask.read("l.cpy", "l.dat")
            self.assertIn("Cobol source contains errors", str(caught.exception))
            records = vexfcbl_dask.read("l.cpy", "l.dat", lenient=True).compute()
        self.assertEqual(records, [{"L-REC": {"L-N": -7}}, {"L-REC": {"L-N": 70000}}])

    def test_write_gives_back_the_file_the_bag_was_read_from(self):
        clean = b"".join(record(i) for i in range(3000) if i % BAD_EVERY != 7)
        variable = b"".join(struct.pack(">HH", len(r) + 4, 0) + r
                            for r in (clean[i:i + RECORD] for i in range(0, len(clean), RECORD)))
        with InFolder(self.folder):
            for name, data, options in (("clean.dat", clean, {}),
                                        ("clean.v", variable, {"recfm": "V"})):
                with self.subTest(name):
                    with open(name, "wb") as f:
                        f.write(data)
                    bag = vexfcbl_dask.read("t.cpy", name, split_mb=0.01, codepage="ASCII",
                                            **options)
                    self.assertGreaterEqual(bag.npartitions, 5)
                    document = vexfcbl_dask.write(bag, "t.cpy", name + ".back",
                                                  codepage="ASCII", **options)
                    with open(name + ".back", "rb") as f:
                        self.assertTrue(f.read() == data)
                    self.assertEqual(document["records_written"], len(clean) // RECORD)
                    self.assertEqual(document["parts"], bag.npartitions)
            # Nothing but the data file is left in its folder.
            self.assertEqual([n for n in os.listdir(".") if n.startswith(".vexfcbl-encode")], [])

    def test_read_raw_then_write_gives_back_bad_data_too(self):
        data = b"".join(record(i) for i in range(3000))  # every 101st with a bad packed digit
        with InFolder(self.folder):
            with open("bad.dat", "wb") as f:
                f.write(data)
            bag = vexfcbl_dask.read("t.cpy", "bad.dat", split_mb=0.01, codepage="ASCII", raw=True)
            records = bag.compute()
            self.assertIsNone(records[7]["T-REC"]["T-AMT"])
            self.assertEqual(set(records[7]), {"T-REC", "_raw", "_raw_fields"})
            document = vexfcbl_dask.write(bag, "t.cpy", "bad.back", codepage="ASCII")
            with open("bad.back", "rb") as f:
                self.assertTrue(f.read() == data)
        self.assertEqual((document["records_written"], document["records_skipped"]), (3000, 0))

    def test_write_skips_or_stops_at_what_does_not_fit(self):
        import dask.bag

        records = [{"T-REC": {"T-ID": i, "T-AMT": decimal.Decimal("1.50"), "T-NAME": "N"}}
                   for i in range(40)]
        records[25]["T-REC"]["T-AMT"] = decimal.Decimal("123456.7")  # 7 digits: too many
        bag = dask.bag.from_sequence(records, npartitions=4)
        with InFolder(self.folder):
            document = vexfcbl_dask.write(bag, "t.cpy", "some.dat", codepage="ASCII")
            self.assertEqual((document["records_read"], document["records_written"],
                              document["records_skipped"]), (40, 39, 1))
            # Lines are numbered within their part: the 26th record is the 6th of part 2.
            self.assertEqual(document["warnings"], [
                "vexfcbl-encode: part 2: line 6: T-REC.T-AMT: 123456.7 does not fit "
                "PIC S9(5)V99 COMP-3: too many digits"])
            self.assertEqual(os.path.getsize("some.dat"), 39 * RECORD)
            with open("some.dat", "rb") as f:
                before = f.read()
            with self.assertRaises(vexfcbl_dask.EncodeError) as caught:
                vexfcbl_dask.write(bag, "t.cpy", "some.dat", codepage="ASCII", strict=True)
            self.assertIn("T-REC.T-AMT: 123456.7 does not fit", str(caught.exception))
            with open("some.dat", "rb") as f:
                self.assertTrue(f.read() == before, "an earlier file stays as it was")
            with self.assertRaises(vexfcbl_dask.EncodeError) as caught:
                vexfcbl_dask.write(bag, "t.cpy", "t.cpy")
            self.assertEqual(str(caught.exception), "t.cpy is the input t.cpy: an input is never overwritten")
            self.assertEqual([n for n in os.listdir(".") if n.startswith(".vexfcbl-encode")], [])

    def test_read_passes_the_framing_options(self):
        # little-endian RDWs that leave out their own 4 bytes, behind a 7-byte file header
        with open(os.path.join(self.folder, "t.dat"), "rb") as f:
            data = f.read()[: RECORD * 2000]
        framed = b"HEADER!" + b"".join(struct.pack("<HH", RECORD, 0) + data[i:i + RECORD]
                                       for i in range(0, len(data), RECORD)) + b"END"
        with open(os.path.join(self.folder, "t.rdw"), "wb") as f:
            f.write(framed)
        options = {"recfm": "V", "rdw": "little", "rdw_adjust": 4, "skip_bytes": 7,
                   "skip_trailer_bytes": 3, "codepage": "ASCII"}
        with InFolder(self.folder):
            bag = vexfcbl_dask.read("t.cpy", "t.rdw", split_mb=0.01, **options)
            records = bag.compute()
        self.assertGreaterEqual(bag.npartitions, 3)
        out, _, counts = single_run(self.folder, ["t.rdw"],
                                    ["-codepage", "ASCII", "-recfm", "V", "-rdw", "little",
                                     "-rdw-adjust", "4", "-skip-bytes", "7",
                                     "-skip-trailer-bytes", "3"])
        self.assertEqual(counts[0], 2000)
        self.assertEqual(records, [json.loads(l, parse_float=decimal.Decimal)
                                   for l in out.splitlines()])

    def test_read_gives_a_bag_of_records_with_decimals(self):
        with InFolder(self.folder):
            bag = vexfcbl_dask.read("t.cpy", "t.vb", split_mb=0.01, recfm="VB",
                                    codepage="ASCII")
            records = bag.compute()
            frame = vexfcbl_dask.read("t.cpy", ["t.vb"], split_mb=0.01, flatten=True,
                                      recfm="VB", codepage="ASCII").to_dataframe().compute()
        self.assertGreaterEqual(bag.npartitions, 5)
        out, _, counts = single_run(self.folder, ["t.vb"], ["-codepage", "ASCII", "-recfm", "VB"])
        expected = [json.loads(l, parse_float=decimal.Decimal) for l in out.splitlines()]
        self.assertEqual(records, expected)
        self.assertIsInstance(records[1]["T-REC"]["T-AMT"], decimal.Decimal)
        self.assertEqual(str(records[1]["T-REC"]["T-AMT"]), "79.19")
        self.assertEqual(list(frame.columns), ["T-ID", "T-AMT", "T-NAME"])
        self.assertEqual(len(frame), counts[1])
        self.assertEqual(frame["T-AMT"].dropna().sum(),
                         sum(r["T-REC"]["T-AMT"] for r in expected
                             if r["T-REC"]["T-AMT"] is not None))


    def test_read_in_the_workers_process_equals_the_program(self):
        try:
            import vexfcbl  # noqa: F401
        except ImportError:
            self.skipTest("no vexfcbl module built")
        uses_module = self.client.run(
            lambda: __import__("vexfcbl_dask.decoder", fromlist=["x"])._module() is not None)
        self.assertTrue(all(uses_module.values()), uses_module)
        with InFolder(self.folder):
            for name, options in (("t.dat", {}), ("t.v", {"recfm": "V"}),
                                  ("t.vb", {"recfm": "VB", "trim": True}),
                                  ("t.txt", {"recfm": "L"})):
                module = vexfcbl_dask.read("t.cpy", name, split_mb=0.01, codepage="ASCII",
                                           **options).compute()
                self.client.run(lambda: os.environ.update(VEXFCBL_DASK_SUBPROCESS="1"))
                try:
                    program = vexfcbl_dask.read("t.cpy", name, split_mb=0.01, codepage="ASCII",
                                                **options).compute()
                finally:
                    self.client.run(lambda: os.environ.pop("VEXFCBL_DASK_SUBPROCESS"))
                self.assertGreater(len(module), 100)
                self.assertEqual(module, program, name)
            with self.assertRaises(vexfcbl_dask.DecodeError) as caught:
                vexfcbl_dask.read("t.cpy", "t.dat", split_mb=0.01, codepage="ASCII",
                                  strict=True).compute()
            # Whichever split's task fails first ends the compute: its first bad
            # record, numbered in the whole file.
            self.assertRegex(str(caught.exception),
                             r"record \d+, byte \d+: T-REC\.T-AMT: invalid packed "
                             r"decimal")
    def test_read_a_hierarchy_in_the_workers_process_equals_the_program(self):
        # Three copybooks, nested segments, then flat ones projected and
        # filtered: the module's ranges of whole trees give the program's records.
        try:
            import vexfcbl  # noqa: F401
        except ImportError:
            self.skipTest("no vexfcbl module built")
        write_hierarchy(self.folder)
        segments = dict(recfm="V", segment="C-SEG", when=["C:CUSTOMER", "A:ACCOUNT", "T:TXN"],
                        child=["ACCOUNT:CUSTOMER", "TXN:ACCOUNT"])
        flat = dict(segments, ids=True, select=["C-NAME", "A-BAL", "T-DATE"],
                    where=["A-BAL=1500,-12.34"])
        from vexfcbl_dask import decoder
        with InFolder(self.folder):
            for options in (segments, flat):
                # The module takes every one of these options: no program runs.
                self.assertIsNotNone(decoder.module_keywords(
                    vexfcbl_dask.option_arguments(options)))
                module = vexfcbl_dask.read(list(SEGMENT_BOOKS), "h.v", split_mb=0.004,
                                           **options)
                records = module.compute()
                self.client.run(lambda: os.environ.update(VEXFCBL_DASK_SUBPROCESS="1"))
                try:
                    program = vexfcbl_dask.read(list(SEGMENT_BOOKS), "h.v", split_mb=0.004,
                                                **options).compute()
                finally:
                    self.client.run(lambda: os.environ.pop("VEXFCBL_DASK_SUBPROCESS"))
                self.assertGreaterEqual(module.npartitions, 5)
                self.assertEqual(records, program)
                if "ids" not in options:
                    self.assertEqual(len(records), 600 + 7)
                else:
                    kept = [r for r in records if "ACCOUNT" in r]
                    self.assertTrue(kept)
                    self.assertTrue(all(r["ACCOUNT"]["A-BAL"] in (decimal.Decimal("1500.00"),
                                                                  decimal.Decimal("-12.34"))
                                        for r in kept))
                    self.assertTrue(all(set(r["ACCOUNT"]) == {"A-BAL"} for r in kept))
                    self.assertTrue(all(list(r)[:3] == ["_record", "_segment", "_parent"]
                                        for r in records))
                    # The schema holds the ids now: a frame of them, row for record.
                    frame = vexfcbl_dask.read_frame(list(SEGMENT_BOOKS), "h.v", split_mb=0.004,
                                                    **options).compute()
                    self.assertEqual(["_record", "_segment", "_parent"], list(frame.columns[:3]))
                    self.assertEqual([r["_record"] for r in records], list(frame["_record"]))
                    self.assertEqual([r["_parent"] for r in records],
                                     [None if pandas.isna(p) else p for p in frame["_parent"]])

    def test_avro_parts_and_a_frame_typed_by_the_schema(self):
        """-format avro writes one Avro file per part, which Python's Avro library reads back
        as the single run's records; read_frame() takes its columns and dtypes from the
        schema, so a file whose first record is of one type still has the other's columns."""
        import avro.datafile
        import avro.io

        args = ["-codepage", "ASCII", "-recfm", "V", "-format", "avro"]
        outdir, document = self.decode("avro", ["t.v"], args, 2000)
        self.assertGreaterEqual(len(document["parts"]), 5)
        records = []
        for part in document["parts"]:
            self.assertRegex(part["part"], r"^part-\d{5}\.avro$")
            with open(os.path.join(outdir, part["part"]), "rb") as f:
                records += list(avro.datafile.DataFileReader(f, avro.io.DatumReader()))
        out, _, _ = single_run(self.folder, ["t.v"], ["-codepage", "ASCII", "-recfm", "V"])
        expected = [json.loads(l, parse_float=decimal.Decimal)["T-REC"] for l in out.splitlines()]
        self.assertEqual([{k.replace("-", "_"): v for k, v in r.items()} for r in expected],
                         records)

        with open(os.path.join(self.folder, "two.cpy"), "w") as f:
            f.write("       01  H-REC.\n           05  H-TYPE PIC X.\n"
                    "           05  H-DATE PIC 9(8).\n"
                    "       01  D-REC.\n           05  D-TYPE PIC X.\n"
                    "           05  D-AMT  PIC S9(5)V99.\n           05  D-N PIC 9.\n")
        with open(os.path.join(self.folder, "two.txt"), "w") as f:
            f.write("H20240131\n" + "".join("D%07d%d\n" % (i * 37, i % 10) for i in range(500)))
        options = dict(recfm="L", codepage="ASCII", when=["H-TYPE=H:H-REC", "H-TYPE=D:D-REC"])
        with InFolder(self.folder):
            frame = vexfcbl_dask.read_frame("two.cpy", "two.txt", split_mb=0.001, **options)
            rows = frame.compute()
        self.assertEqual({"H-REC.H-TYPE": "string", "H-REC.H-DATE": "Int64",
                          "D-REC.D-TYPE": "string", "D-REC.D-AMT": "object",
                          "D-REC.D-N": "Int64"}, {c: str(t) for c, t in frame.dtypes.items()})
        self.assertGreater(frame.npartitions, 1)
        self.assertEqual(501, len(rows))
        self.assertEqual(20240131, rows["H-REC.H-DATE"].iloc[0])
        # The amounts stay exact decimals: their sum is the sum of the digits written.
        self.assertEqual(decimal.Decimal(sum(i * 37 for i in range(500))) / 100,
                         rows["D-REC.D-AMT"].dropna().sum())


class CommandTest(unittest.TestCase):
    """The command line: usage errors need no cluster; one run on --local 2."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vexfcbl-dask-cmd-")
        with open(os.path.join(self.folder, "t.cpy"), "w") as f:
            f.write(COPYBOOK)
        make_files(self.folder, 600)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def command(self, *args):
        return subprocess.run([sys.executable, COMMAND, *args], cwd=self.folder,
                              capture_output=True, text=True, timeout=300)

    def test_usage_errors(self):
        os.makedirs(os.path.join(self.folder, "full"))
        open(os.path.join(self.folder, "full", "x"), "w").close()
        for args, message in (
                (["-i", "t.cpy", "-o", "o", "t.dat"], "give one of --scheduler ADDRESS and --local N"),
                (["-i", "t.cpy", "--local", "2", "-o", "o", "-j", "2", "t.dat"], "-j is not an option"),
                (["-i", "t.cpy", "--local", "2", "-o", "o", "-"], "standard input cannot be split"),
                (["-i", "t.cpy", "--local", "0", "-o", "o", "t.dat"], "--local 0"),
                (["-i", "t.cpy", "--local", "2", "-o", "full", "t.dat"],
                 "vexfcbl-dask: full is not empty: --resume finishes a run that stopped, "
                 "--overwrite starts over"),
                (["-i", "t.cpy", "--local", "2", "--resume", "--overwrite", "-o", "o", "t.dat"],
                 "give one of --resume and --overwrite"),
                (["-i", "none.cpy", "--local", "2", "-o", "o", "t.dat"],
                 "vexfcbl-dask: cannot read none.cpy: No such file or directory"),
                (["-i", "t.cpy", "--local", "2", "-o", "o", "none.dat"],
                 "vexfcbl-dask: cannot read none.dat: No such file or directory"),
                (["-i", "t.cpy", "-i", "none.cpy", "--local", "2", "-o", "o", "t.dat"],
                 "vexfcbl-dask: cannot read none.cpy: No such file or directory"),
                (["--encode", "-i", "t.cpy", "-i", "t.cpy", "--local", "2", "-o", "o", "t.json"],
                 "-i: --encode takes one copybook, as vexfcbl-encode does"),
                (["-i", "t.cpy", "--local", "2", "-schema", "s.json", "-o", "o", "t.dat"],
                 "-schema is not an option of vexfcbl-dask: the parts are decoded by tasks"),
                (["-i", "t.cpy", "--local", "2", "-diagnose", "-o", "o", "t.dat"],
                 "-diagnose is not an option of vexfcbl-dask")):
            with self.subTest(args):
                run = self.command(*args)
                self.assertEqual(run.returncode, 1)
                # One line, never a traceback nor the usage text.
                self.assertEqual(len(run.stderr.splitlines()), 1, run.stderr)
                self.assertIn(message, run.stderr)
                self.assertFalse(os.path.exists(os.path.join(self.folder, "o")))

    def test_several_copybooks_and_a_hierarchy_equal_the_single_run(self):
        write_hierarchy(self.folder)
        args = [*copybook_arguments(SEGMENT_BOOKS), "-recfm", "V", *SEGMENTS]
        run = self.command(*args, "--local", "2", "--split-mb", "0.004", "-q", "-o", "out", "h.v")
        self.assertEqual(run.returncode, 0, run.stderr)
        single = subprocess.run([DECODER, *args, "h.v"], cwd=self.folder, capture_output=True)
        with open(os.path.join(self.folder, "out", "_SUCCESS")) as f:
            document = json.load(f)
        self.assertGreaterEqual(len(document["parts"]), 5)
        self.assertEqual(concatenated(os.path.join(self.folder, "out"), document["parts"]),
                         single.stdout)
        self.assertEqual(run.stderr.splitlines(), single.stderr.decode().splitlines()[:-1])

    def test_encode_writes_one_data_file_from_split_json_lines(self):
        clean = b"".join(record(i) for i in range(600) if i % BAD_EVERY != 7)
        with open(os.path.join(self.folder, "clean.dat"), "wb") as f:
            f.write(clean)
        decoded = subprocess.run([DECODER, "-i", "t.cpy", "-q", "-codepage", "ASCII", "clean.dat"],
                                 cwd=self.folder, capture_output=True, check=True).stdout
        lines = decoded.splitlines(keepends=True)
        lines[300] = b'{"T-REC":{"T-ID":1,"T-AMT":"x","T-NAME":"N"}}\n'
        with open(os.path.join(self.folder, "clean.jsonl"), "wb") as f:
            f.write(b"".join(lines))
        run = self.command("--encode", "-i", "t.cpy", "-codepage", "ASCII", "--local", "2",
                           "--split-mb", "0.005", "-o", "back.dat", "clean.jsonl")
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(os.path.join(self.folder, "back.dat"), "rb") as f:
            back = f.read()
        self.assertTrue(back == clean[:300 * RECORD] + clean[301 * RECORD:])
        messages = run.stderr.splitlines()
        self.assertEqual(len(messages), 2, run.stderr)
        self.assertRegex(messages[0], r"^vexfcbl-encode: part \d+: line \d+: T-REC.T-AMT: a number "
                                      r"is expected, not a string$")
        self.assertRegex(messages[1], r"^vexfcbl-dask: 594 records read, 593 written, 1 skipped, "
                                      r"in \d+ parts$")
        # -strict: nothing written, an earlier file as it was.
        run = self.command("--encode", "-i", "t.cpy", "-codepage", "ASCII", "-strict", "--local",
                           "2", "--split-mb", "0.005", "-o", "back.dat", "clean.jsonl")
        self.assertEqual(run.returncode, 1)
        self.assertTrue(run.stderr.endswith("vexfcbl-dask: nothing written to back.dat\n"), run.stderr)
        with open(os.path.join(self.folder, "back.dat"), "rb") as f:
            self.assertTrue(f.read() == back)
        run = self.command("--encode", "-i", "t.cpy", "--local", "2", "-format", "csv",
                           "-o", "x.dat", "clean.jsonl")
        self.assertEqual(run.returncode, 1)
        self.assertIn("--encode reads JSON Lines; -format is not an option here", run.stderr)

    def test_local_run_writes_parts_and_success(self):
        run = self.command("-i", "t.cpy", "-codepage", "ASCII", "-recfm", "V", "--local", "2",
                           "--split-mb", "0.002", "-o", "out", "t.v")
        self.assertEqual(run.returncode, 0, run.stderr)
        out, warnings, counts = single_run(self.folder, ["t.v"],
                                           ["-codepage", "ASCII", "-recfm", "V"])
        with open(os.path.join(self.folder, "out", "_SUCCESS")) as f:
            document = json.load(f)
        self.assertGreaterEqual(len(document["parts"]), 5)
        self.assertTrue(concatenated(os.path.join(self.folder, "out"), document["parts"]) == out)
        self.assertEqual(run.stderr.splitlines(),
                         warnings + ["vexfcbl-dask: %d records read, %d written, %d with warnings, "
                                     "in %d parts" % (*counts, len(document["parts"]))])
        # A failing split: status 1, the split named, no _SUCCESS.
        run = self.command("-i", "t.cpy", "-codepage", "ASCII", "-recfm", "V", "-strict",
                           "--local", "2", "--split-mb", "0.002", "-o", "strict", "t.v")
        self.assertEqual(run.returncode, 1)
        self.assertRegex(run.stderr, r"vexfcbl-dask: split \d+ \(t\.v bytes \d+-\d+\) failed")
        self.assertIn("strict is incomplete: no _SUCCESS written", run.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.folder, "strict", "_SUCCESS")))


class StopAndResumeTest(unittest.TestCase):
    """Ctrl-C (SIGINT to the whole process group, as a terminal sends it) and kill in the
    middle of a run; --resume keeps the complete parts, --overwrite starts over."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vexfcbl-dask-stop-")
        with open(os.path.join(self.folder, "t.cpy"), "w") as f:
            f.write(COPYBOOK)
        chunk = b"".join(record(i) for i in range(10000))
        with open(os.path.join(self.folder, "big.dat"), "wb") as f:
            for _ in range(300):  # 60 MB
                f.write(chunk)
        self.outdir = os.path.join(self.folder, "out")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, *args):
        # PYTHONFAULTHANDLER: a run that hangs is made to print its threads' stacks (SIGABRT).
        return subprocess.Popen([sys.executable, COMMAND, "-i", "t.cpy", "-codepage", "ASCII",
                                 "--local", "2", "--split-mb", "0.5", *args, "-o", "out",
                                 "big.dat"], cwd=self.folder, stderr=subprocess.PIPE, text=True,
                                start_new_session=True,
                                env=dict(os.environ, PYTHONFAULTHANDLER="1"))

    def parts(self):
        if not os.path.isdir(self.outdir):
            return []
        return sorted(n for n in os.listdir(self.outdir) if n.startswith("part-"))

    def recorded(self):
        """The parts the run knows complete: those it can keep when resumed."""
        progress = os.path.join(self.outdir, "_progress")
        names = os.listdir(progress) if os.path.isdir(progress) else []
        # A part being recorded when the run stopped is still a .tmp file: not complete.
        return sorted(n[:-len(".json")] + ".jsonl" for n in names
                      if n.startswith("part-") and n.endswith(".json"))

    def stop(self, signum, *args):
        """Starts a run, stops it once a few parts are done; its status and standard error."""
        run = self.start(*args)
        deadline = time.time() + 120
        while len(self.recorded()) < 3 and time.time() < deadline and run.poll() is None:
            time.sleep(0.02)
        self.assertIsNone(run.poll(), "the run ended before it could be stopped")
        os.killpg(run.pid, signum)
        stderr = run.communicate(timeout=120)[1]
        return run.returncode, stderr

    def finish(self, *args):
        run = subprocess.run([sys.executable, COMMAND, "-i", "t.cpy", "-codepage", "ASCII",
                              "--local", "2", "--split-mb", "0.5", *args, "-o", "out",
                              "big.dat"], cwd=self.folder, capture_output=True, text=True,
                             timeout=300)
        return run.returncode, run.stderr

    def expect_whole(self):
        out, _, counts = single_run(self.folder, ["big.dat"], ["-codepage", "ASCII"])
        with open(os.path.join(self.outdir, "_SUCCESS")) as f:
            document = json.load(f)
        # 60 000 000 bytes in splits of 524 280 (0.5 MB, down to whole records).
        self.assertEqual(len(document["parts"]), 115)
        self.assertTrue(concatenated(self.outdir, document["parts"]) == out)
        self.assertEqual(document["records_read"], counts[0])
        self.assertEqual(sorted(os.listdir(self.outdir)), sorted(["_SUCCESS"] + self.parts()))

    def test_ctrl_c_then_resume(self):
        status, stderr = self.stop(signal.SIGINT)
        self.assertEqual(status, 130)
        self.assertEqual(stderr, "vexfcbl-dask: interrupted: out is incomplete: --resume "
                                 "finishes it, --overwrite starts over\n")
        self.assertFalse(os.path.exists(os.path.join(self.outdir, "_temporary")))
        self.assertFalse(os.path.exists(os.path.join(self.outdir, "_SUCCESS")))
        kept = {name: os.stat(os.path.join(self.outdir, name)).st_mtime_ns
                for name in self.recorded()}
        self.assertGreaterEqual(len(kept), 3)
        # Another run into it must say what it wants.
        status, stderr = self.finish()
        self.assertEqual((status, stderr), (1, "vexfcbl-dask: out is not empty: --resume "
                                               "finishes a run that stopped, --overwrite "
                                               "starts over\n"))
        status, stderr = self.finish("-fillers", "--resume")
        self.assertEqual((status, stderr), (1, "vexfcbl-dask: out was written with other data, "
                                               "copybook or options: give --overwrite to start "
                                               "over\n"))
        status, stderr = self.finish("--resume")
        self.assertEqual(status, 0, stderr)
        self.expect_whole()
        # The parts the stopped run completed were kept, not decoded again.
        for name, mtime in kept.items():
            with self.subTest(name):
                self.assertEqual(os.stat(os.path.join(self.outdir, name)).st_mtime_ns, mtime)
        status, stderr = self.finish("--resume")
        self.assertEqual((status, stderr), (1, "vexfcbl-dask: out is complete: nothing to "
                                               "resume (--overwrite starts over)\n"))

    def test_a_stop_at_any_moment_of_the_start_ends_the_run_and_its_processes(self):
        """SIGTERM to the group while the local cluster starts and the first splits decode in
        the program: forks of the cluster's threads met the head start's decoder being made,
        and a start cut short left Dask waiting at the exit; both hung the run for ever."""
        for delay in (0.15, 0.35, 0.55, 0.75, 0.95, 1.15, 1.35):
            with self.subTest(delay=delay):
                shutil.rmtree(self.outdir, ignore_errors=True)
                run = self.start()
                time.sleep(delay)
                os.killpg(run.pid, signal.SIGTERM)
                # Its standard error read meanwhile: whatever it writes, it is never
                # held up by a full pipe.
                try:
                    stderr = run.communicate(timeout=60)[1]
                except subprocess.TimeoutExpired:
                    os.kill(run.pid, signal.SIGABRT)
                    time.sleep(2)
                    os.killpg(run.pid, signal.SIGKILL)
                    self.fail("the run did not end within 60 s of SIGTERM; its threads:\n" +
                              run.communicate()[1][-6000:])
                self.assertEqual(run.returncode, 143, stderr[-3000:])
                self.assertIn(stderr, ("vexfcbl-dask: terminated\n",
                                       "vexfcbl-dask: terminated: out is incomplete: --resume "
                                       "finishes it, --overwrite starts over\n"))
                self.assertFalse(os.path.exists(os.path.join(self.outdir, "_temporary")))
                # Nothing of the run lives on: no worker, no decoder (those of the head
                # start run in sessions of their own), all of them working in the folder.
                deadline = time.time() + 10
                while self.living_in_folder() and time.time() < deadline:
                    time.sleep(0.05)
                left = self.living_in_folder()
                for pid in left:
                    os.kill(pid, signal.SIGKILL)
                self.assertEqual(left, [], "processes of the run outlived it")

    def living_in_folder(self):
        """The processes, not yet ended, whose working folder is the test's."""
        found = []
        for name in os.listdir("/proc"):
            if not name.isdigit():
                continue
            try:
                if os.readlink(f"/proc/{name}/cwd") != self.folder:
                    continue
                with open(f"/proc/{name}/stat") as f:
                    if f.read().rsplit(")", 1)[1].split()[0] != "Z":
                        found.append(int(name))
            except OSError:
                continue
        return found

    def test_kill_then_overwrite(self):
        status, stderr = self.stop(signal.SIGTERM)
        self.assertEqual(status, 143)
        self.assertEqual(stderr, "vexfcbl-dask: terminated: out is incomplete: --resume "
                                 "finishes it, --overwrite starts over\n")
        self.assertFalse(os.path.exists(os.path.join(self.outdir, "_temporary")))
        # A file of someone else's in OUTDIR is never removed.
        with open(os.path.join(self.outdir, "notes.txt"), "w") as f:
            f.write("mine")
        status, stderr = self.finish("--overwrite")
        self.assertEqual((status, stderr), (1, "vexfcbl-dask: out holds files vexfcbl-dask did "
                                               "not write (notes.txt): remove them or give "
                                               "another -o\n"))
        os.remove(os.path.join(self.outdir, "notes.txt"))
        status, stderr = self.finish("--overwrite")
        self.assertEqual(status, 0, stderr)
        self.expect_whole()


if __name__ == "__main__":
    unittest.main()
