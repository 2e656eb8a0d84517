"""vexfcbl-decode on files framed as jobs write them: descriptor word variants, skipped
bytes, lengths from fields and counts, headers and trailers, compressed input.

The data files come from tests/tools/cobdata.py, and the expected values are the ones
given to it, so a misreading shared by the decoder and its own tests cannot pass.
Run by ctest: VEXFCBL_DECODE names the built program.
"""

import gzip
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import cobdata  # noqa: E402

DECODER = os.environ["VEXFCBL_DECODE"]

ITEM = """\
       01  ITEM-REC.
           05  ITEM-ID      PIC 9(6).
           05  ITEM-NAME    PIC X(10).
           05  ITEM-QTY     PIC S9(7) COMP-3.
"""
BATCH = """\
       01  HDR-REC.
           05  HDR-TYPE     PIC X.
           05  HDR-FILE     PIC 9(3).
           05  FILLER       PIC X(6).
       01  DTL-REC.
           05  DTL-TYPE     PIC X.
           05  DTL-ID       PIC 9(4).
           05  DTL-AMT      PIC S9(7)V99 COMP-3.
       01  TRL-REC.
           05  TRL-TYPE     PIC X.
           05  TRL-COUNT    PIC 9(6).
           05  FILLER       PIC X(3).
"""
SEGMENT = """\
       01  SEG-REC.
           05  SEG-LEN      PIC S9(4) COMP.
           05  SEG-COUNT    PIC 9.
           05  SEG-ITEM     PIC X(3)
                            OCCURS 0 TO 5 DEPENDING ON SEG-COUNT.
"""


def items(count, seed=5):
    """ITEM records and the values they hold."""
    rng = random.Random(seed)
    values = [(i + 1, cobdata.random_text(rng, 10).rstrip() or "X", rng.randint(-9999999, 9999999))
              for i in range(count)]
    records = [cobdata.zoned(i, 6, signed=False) + cobdata.text(n, 10) + cobdata.packed(q, 7)
               for i, n, q in values]
    return records, values


class Decoding(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vexdecode-framing-")
        self.addCleanup(shutil.rmtree, self.folder)

    def write(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path, "wb" if isinstance(data, bytes) else "w") as f:
            f.write(data)
        return path

    def decode(self, *args, stdin=None, status=0):
        run = subprocess.run([DECODER, "-q", *args], input=stdin, capture_output=True,
                             cwd=self.folder)
        self.assertEqual(run.returncode, status, run.stderr.decode())
        return run.stdout.decode(), run.stderr.decode()

    def lines(self, *args, **kw):
        out, _ = self.decode(*args, **kw)
        return [json.loads(line) for line in out.splitlines()]

    def assert_items(self, lines, values):
        self.assertEqual([(r["ITEM-REC"]["ITEM-ID"], r["ITEM-REC"]["ITEM-NAME"].rstrip(),
                           r["ITEM-REC"]["ITEM-QTY"]) for r in lines], values)

    def ranges_equal_whole(self, args, data_name):
        """Every range of -splits decoded apart, in order, gives the whole run's lines."""
        whole, _ = self.decode(*args, data_name)
        plan, _ = self.decode(*args, "-splits", "300", data_name)
        ranges = plan.split()
        self.assertGreater(len(ranges), 3)
        parts = "".join(self.decode(*args, "-range", r, data_name)[0] for r in ranges)
        self.assertEqual(parts, whole)
        return whole


class DescriptorWords(Decoding):
    def test_byte_orders_and_adjustments_split_like_the_whole(self):
        records, values = items(200)
        self.write("item.cpy", ITEM)
        cases = [  # cobdata's adjust (what a length counts beyond the data) and the option
            ("V", {"little": True, "adjust": 0}, ["-rdw", "little", "-rdw-adjust", "4"]),
            ("V", {"little": False, "adjust": 2}, ["-rdw-adjust", "2"]),
            ("VB", {"little": True, "adjust": 4, "extended": True, "block_size": 120},
             ["-rdw", "little"]),
            ("VB", {"little": False, "adjust": 0, "block_size": 200}, ["-rdw-adjust", "4"]),
        ]
        for recfm, framing, options in cases:
            with self.subTest(recfm=recfm, framing=framing):
                if recfm == "V":
                    data = cobdata.variable(records, framing["little"], framing["adjust"])
                else:
                    data = cobdata.variable_blocked(records, framing["block_size"],
                                                    framing["little"], framing["adjust"],
                                                    framing.get("extended", False))
                self.write("items.dat", data)
                args = ["-i", "item.cpy", "-recfm", recfm, *options]
                whole = self.ranges_equal_whole(args, "items.dat")
                self.assert_items([json.loads(x) for x in whole.splitlines()], values)

    def test_wrong_byte_order_is_warned_with_file_and_offset(self):
        records, _ = items(2)
        self.write("item.cpy", ITEM)
        self.write("items.v", cobdata.variable(records, little=True))
        _, err = self.decode("-i", "item.cpy", "-recfm", "V", "items.v")
        # 0x1D00 bytes announced: the first record swallows the file
        self.assertIn("items.v: record 1, byte 4: record shorter than its descriptor word says",
                      err)


class SkippedBytes(Decoding):
    def test_fixed_and_lines_between_a_file_header_and_trailer(self):
        records, values = items(120)
        self.write("item.cpy", ITEM)
        head, tail = b"\x00" * 37, b"TRAILER-BYTES"
        self.write("items.dat", head + b"".join(records) + tail)
        args = ["-i", "item.cpy", "-skip-bytes", "37", "-skip-trailer-bytes", str(len(tail))]
        self.assert_items([json.loads(x) for x in
                           self.ranges_equal_whole(args, "items.dat").splitlines()], values)
        self.assertEqual(self.decode(*args, "-j", "3", "items.dat")[0],
                         self.decode(*args, "items.dat")[0])
        # the same bytes from a pipe, where nothing can seek
        with open(os.path.join(self.folder, "items.dat"), "rb") as f:
            self.assert_items(self.lines(*args, stdin=f.read()), values)
        ascii_lines = cobdata.lines(cobdata.text(f"{i:06d}LINE", 10, "ASCII") for i in range(150))
        self.write("lines.txt", b"#HEAD\n" + ascii_lines + b"#TAIL")
        self.write("line.cpy", "       01  L.\n           05  L-ID PIC 9(6).\n"
                               "           05  L-TEXT PIC X(4).\n")
        args = ["-i", "line.cpy", "-recfm", "L", "-codepage", "ASCII", "-skip-bytes", "6",
                "-skip-trailer-bytes", "5"]
        whole = self.ranges_equal_whole(args, "lines.txt")
        self.assertEqual([json.loads(x)["L"]["L-ID"] for x in whole.splitlines()], list(range(150)))


class RecordLengths(Decoding):
    def test_length_field_binary_little_endian_with_negative_adjustment(self):
        self.write("seg.cpy", SEGMENT)
        rng = random.Random(3)
        counts = [rng.randint(0, 5) for _ in range(100)]
        # SEG-LEN counts 10 bytes more than the record: -length-field SEG-LEN-10
        data = b"".join(cobdata.binary(3 + 3 * n + 10, 4, little=True) + cobdata.zoned(n, 1, signed=False)
                        + b"".join(cobdata.text(f"{n}{k}", 3) for k in range(n)) for n in counts)
        self.write("seg.dat", data)
        lines = self.lines("-i", "seg.cpy", "-byteorder", "little", "-length-field", "SEG-LEN-10",
                           "seg.dat")
        self.assertEqual([len(r["SEG-REC"]["SEG-ITEM"]) for r in lines], counts)
        _, err = self.decode("-i", "seg.cpy", "-length-field", "SEG-LEN", "-splits", "1K",
                             "seg.dat", status=1)
        self.assertIn("-splits cannot be used: -length-field records are found only by reading",
                      err)

    def test_variable_occurs_fixed_and_lines(self):
        self.write("seg.cpy", SEGMENT)
        counts = [2, 0, 5, 1]
        records = [cobdata.binary(0, 4) + cobdata.zoned(n, 1, signed=False)
                   + b"".join(cobdata.text(f"{n}{k}", 3) for k in range(n)) for n in counts]
        self.write("seg.dat", b"".join(records))
        lines = self.lines("-i", "seg.cpy", "-variable-occurs", "seg.dat")
        self.assertEqual([r["SEG-REC"]["SEG-ITEM"] for r in lines],
                         [[f"{n}{k} " for k in range(n)] for n in counts])
        # text lines: one line ends before its count's occurrences, and is warned of
        self.write("seg.txt", b"\x00\x002XXXYYY\n\x00\x003AAABBB\n")
        out, err = self.decode("-i", "seg.cpy", "-recfm", "L", "-codepage", "ASCII", "-variable-occurs",
                               "seg.txt")
        self.assertEqual(len(out.splitlines()), 2)
        self.assertIn("seg.txt: record 2, byte 10: SEG-REC: record length 9 disagrees with the "
                      "layout's 12", err)


class HeadersAndTrailers(Decoding):
    def batch(self, number, amounts):
        recs = [cobdata.text("H", 1) + cobdata.zoned(number, 3, signed=False) + cobdata.text("", 6)]
        recs += [cobdata.text("D", 1) + cobdata.zoned(i, 4, signed=False) + cobdata.packed(a, 9, 2)
                 for i, a in enumerate(amounts)]
        recs.append(cobdata.text("T", 1) + cobdata.zoned(len(amounts), 6, signed=False)
                    + cobdata.text("", 3))
        return b"".join(recs)

    def test_trailer_counts_match_the_body_of_each_file(self):
        self.write("batch.cpy", BATCH)
        files = []
        for number, count in ((1, 7), (2, 0), (3, 40)):
            amounts = [f"{k}.{k % 100:02d}" for k in range(count)]
            files.append(self.write(f"b{number}.dat", self.batch(number, amounts)))
        for recfm_args, data in ((["-recfm", "F"], files),):
            body, _ = self.decode("-i", "batch.cpy", *recfm_args, "-record", "DTL-REC", "-header",
                                  "HDR-REC", "-trailer", "TRL-REC", "-header-out", "ends.jsonl",
                                  "-j", "2", *data)
            with open(os.path.join(self.folder, "ends.jsonl")) as f:
                ends = [json.loads(line) for line in f]
            self.assertEqual([e.get("HDR-REC", {}).get("HDR-FILE") for e in ends[0::2]], [1, 2, 3])
            counts = [e["TRL-REC"]["TRL-COUNT"] for e in ends[1::2]]
            self.assertEqual(sum(counts), len(body.splitlines()))
            self.assertEqual(counts, [7, 0, 40])

    def test_ranges_give_the_header_and_trailer_once(self):
        self.write("batch.cpy", BATCH)
        amounts = [f"{k}.{k % 100:02d}" for k in range(120)]
        self.write("b.dat", self.batch(9, amounts))
        # without -record the body is the records that are neither header nor trailer
        args = ["-i", "batch.cpy", "-header", "HDR-REC", "-trailer", "TRL-REC"]
        lines = [json.loads(x, parse_float=str)
                 for x in self.ranges_equal_whole(args, "b.dat").splitlines()]
        self.assertEqual(lines[0], {"HDR-REC": {"HDR-TYPE": "H", "HDR-FILE": 9}})
        self.assertEqual(lines[-1], {"TRL-REC": {"TRL-TYPE": "T", "TRL-COUNT": 120}})
        self.assertEqual({key for r in lines[1:-1] for key in r}, {"DTL-REC"})
        self.assertEqual([r["DTL-REC"]["DTL-AMT"] for r in lines[1:-1]], amounts)

    def test_a_failed_run_writes_neither_output(self):
        self.write("batch.cpy", BATCH)
        self.write("b.dat", self.batch(1, ["1.00"]) + b"\xff")  # a cut record: -strict stops
        self.write("ends.jsonl", "earlier\n")
        self.decode("-i", "batch.cpy", "-record", "DTL-REC", "-trailer", "TRL-REC", "-strict",
                    "-header-out", "ends.jsonl", "-o", "body.jsonl", "b.dat", status=1)
        with open(os.path.join(self.folder, "ends.jsonl")) as f:
            self.assertEqual(f.read(), "earlier\n")
        self.assertFalse(os.path.exists(os.path.join(self.folder, "body.jsonl")))


# GnuCOBOL writes a RECORD VARYING file with a 4-byte prefix that leaves out
# its own bytes: a big-endian length and two zero bytes (COB_VARSEQ_FORMAT 0,
# the default), or a little-endian 4-byte length on x86 (format 2). Both are
# RDWs that -rdw-adjust 4 reads; the program's DISPLAY lines are the oracle.
VARYING_PROGRAM = """\
       IDENTIFICATION DIVISION.
       PROGRAM-ID. VARW.
       ENVIRONMENT DIVISION.
       INPUT-OUTPUT SECTION.
       FILE-CONTROL.
           SELECT OUT-FILE ASSIGN TO "var.dat"
               ORGANIZATION IS SEQUENTIAL.
       DATA DIVISION.
       FILE SECTION.
       FD  OUT-FILE
           RECORD IS VARYING IN SIZE FROM 6 TO 21 CHARACTERS
           DEPENDING ON REC-SIZE.
       01  SEG-REC.
           05  SEG-ID       PIC 9(4) COMP.
           05  SEG-COUNT    PIC 9.
           05  SEG-AMT      PIC S9(5) COMP-3.
           05  SEG-ITEM     PIC X(3)
                            OCCURS 0 TO 5 DEPENDING ON SEG-COUNT.
       WORKING-STORAGE SECTION.
       01  REC-SIZE         PIC 9(4) COMP.
       01  I                PIC 99.
       01  K                PIC 9.
       PROCEDURE DIVISION.
           OPEN OUTPUT OUT-FILE
           PERFORM VARYING I FROM 1 BY 1 UNTIL I > 14
               MOVE I TO SEG-ID
               COMPUTE SEG-COUNT = FUNCTION MOD(I, 6)
               COMPUTE SEG-AMT = I * 111 - 700
               PERFORM VARYING K FROM 1 BY 1 UNTIL K > SEG-COUNT
                   MOVE "ABC" TO SEG-ITEM(K)
                   MOVE K TO SEG-ITEM(K)(3:1)
               END-PERFORM
               COMPUTE REC-SIZE = 6 + 3 * SEG-COUNT
               WRITE SEG-REC
               DISPLAY SEG-ID " " SEG-COUNT " " SEG-AMT
           END-PERFORM
           CLOSE OUT-FILE
           STOP RUN.
"""


@unittest.skipUnless(shutil.which("cobc"), "cobc (GnuCOBOL) is not installed")
class GnuCobolFiles(Decoding):
    def written(self, varseq_format):
        """The file the program writes in that format, and what it displayed."""
        run = subprocess.run(["./varw"], cwd=self.folder, capture_output=True, text=True,
                             env={**os.environ, "COB_VARSEQ_FORMAT": str(varseq_format)},
                             check=True)
        with open(os.path.join(self.folder, "var.dat"), "rb") as f:
            data = f.read()
        shown = [line.split() for line in run.stdout.splitlines()]
        return data, [(int(i), int(n), int(amount)) for i, n, amount in shown]

    def test_variable_files_of_gnucobol(self):
        self.write("varw.cob", VARYING_PROGRAM)
        subprocess.run(["cobc", "-x", "-std=ibm", "varw.cob"], cwd=self.folder, check=True,
                       capture_output=True)
        self.write("seg.cpy", VARYING_PROGRAM[VARYING_PROGRAM.index("       01  SEG-REC."):
                                              VARYING_PROGRAM.index("       WORKING-STORAGE")])
        args = ["-i", "seg.cpy", "-codepage", "ASCII", "-recfm", "V", "-rdw-adjust", "4"]
        for varseq_format, order in ((0, "big"), (2, "little")):
            with self.subTest(varseq_format=varseq_format):
                data, shown = self.written(varseq_format)
                self.write("var.dat", data)
                lines = self.lines(*args, "-rdw", order, "var.dat")
                self.assertEqual([(r["SEG-REC"]["SEG-ID"], r["SEG-REC"]["SEG-COUNT"],
                                   r["SEG-REC"]["SEG-AMT"]) for r in lines], shown)
                self.assertEqual([r["SEG-REC"]["SEG-ITEM"] for r in lines],
                                 [[f"AB{k}" for k in range(1, n + 1)] for _, n, _ in shown])
        # The same records without their prefixes, one after another: as long
        # as their DEPENDING ON counts make them.
        data, shown = self.written(0)
        bare, at = b"", 0
        while at < len(data):
            length = int.from_bytes(data[at:at + 2], "big")
            bare += data[at + 4:at + 4 + length]
            at += 4 + length
        self.write("bare.dat", bare)
        lines = self.lines("-i", "seg.cpy", "-codepage", "ASCII", "-variable-occurs", "bare.dat")
        self.assertEqual([(r["SEG-REC"]["SEG-ID"], r["SEG-REC"]["SEG-COUNT"],
                           r["SEG-REC"]["SEG-AMT"]) for r in lines], shown)


class Compressed(Decoding):
    def test_every_compression_from_files_and_standard_input(self):
        records, values = items(500)
        self.write("item.cpy", ITEM)
        plain = cobdata.variable_blocked(records, 1000)
        for kind in ("gzip", "bzip2", "zstd"):
            with self.subTest(kind=kind):
                packed = cobdata.compress(plain, kind)
                self.write("items.data", packed)  # no telling extension
                self.assert_items(self.lines("-i", "item.cpy", "-recfm", "VB", "-j", "2",
                                             "items.data"), values)
                self.assert_items(self.lines("-i", "item.cpy", "-recfm", "VB", stdin=packed),
                                  values)
                # two compressed files one after the other, as cat would join them
                self.assert_items(self.lines("-i", "item.cpy", "-recfm", "VB",
                                             stdin=packed + packed), values + values)

    def test_damaged_data_names_the_file_and_keeps_the_output(self):
        records, _ = items(50)
        self.write("item.cpy", ITEM)
        packed = gzip.compress(b"".join(records), mtime=0)
        self.write("cut.gz", packed[: len(packed) // 2])
        bad = bytearray(packed)
        bad[20] ^= 0xFF
        self.write("bad.gz", bytes(bad))
        for name, why in (("cut.gz", "the gzip data ends inside a member"),
                          ("bad.gz", "the gzip data is corrupt")):
            with self.subTest(name=name):
                self.write("out.jsonl", "earlier\n")
                _, err = self.decode("-i", "item.cpy", "-o", "out.jsonl", name, status=1)
                self.assertIn(f"cannot read {name}: {why}", err)
                with open(os.path.join(self.folder, "out.jsonl")) as f:
                    self.assertEqual(f.read(), "earlier\n")


class PlainFiles(Decoding):
    """A plain file read by one thread: the same records whatever the reading
    (mapped in pieces of 8 MB, then fread past what was mapped)."""

    def test_a_file_that_grows_while_it_is_read_is_read_to_its_new_end(self):
        """9.6 MB of records (the first piece of the mapping ends inside a record), then
        1 MB appended while the decoder waits on its full output pipe: every record of
        both, as a read to the end of the file gives them."""
        records, values = items(1000)
        self.write("item.cpy", ITEM)
        block = b"".join(records)
        first, more = 480, 50
        path = self.write("items.dat", block * first)
        errors = open(os.path.join(self.folder, "errors"), "w+b")
        self.addCleanup(errors.close)
        run = subprocess.Popen([DECODER, "-q", "-i", "item.cpy", "items.dat"], cwd=self.folder,
                               stdout=subprocess.PIPE, stderr=errors)
        # Its first line says the decoder has begun on the file as it was; its output is
        # many times the pipe's buffer, so it cannot come to the first piece's end (nor
        # the file's) before the lines are read below.
        out = run.stdout.readline()
        with open(path, "ab") as f:
            f.write(block * more)
        out += run.stdout.read()
        run.stdout.close()
        self.assertEqual(run.wait(), 0)
        errors.seek(0)
        self.assertEqual(errors.read(), b"")
        lines = out.decode().splitlines()
        self.assertEqual(len(lines), 1000 * (first + more))
        self.assert_items([json.loads(line) for line in lines], values * (first + more))

    def test_pieces_standard_input_and_a_short_last_record(self):
        """A file of 10 MB and 7 bytes, by name and as standard input: the records across
        the pieces' ends, then the short last record warned about as in a pipe."""
        records, values = items(1000)
        self.write("item.cpy", ITEM)
        data = b"".join(records) * 500 + records[0][:7]
        path = self.write("items.dat", data)
        by_name, name_err = self.decode("-i", "item.cpy", "items.dat")
        with open(path, "rb") as f:
            piped = subprocess.run([DECODER, "-q", "-i", "item.cpy"], stdin=f,
                                   capture_output=True, cwd=self.folder)
        from_pipe = subprocess.run([DECODER, "-q", "-i", "item.cpy"], input=data,
                                   capture_output=True, cwd=self.folder)
        lines = by_name.splitlines()
        self.assertEqual(len(lines), 500 * 1000 + 1)
        self.assert_items([json.loads(line) for line in lines[:-1]], values * 500)
        self.assertEqual(piped.stdout.decode(), by_name)
        self.assertEqual(from_pipe.stdout.decode(), by_name)
        self.assertEqual(piped.stderr.decode().replace("-:", "items.dat:"), name_err)
        self.assertIn("record 500001", name_err)


if __name__ == "__main__":
    unittest.main()
