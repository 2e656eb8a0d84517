"""vexfcbl-decode at its edges, as a user meets them: Ctrl-C and kill in the middle of a
decode, a full disk, files it may not read or write, and the progress lines of the decoder
and of vexfcbl -batch on a terminal (a pseudo-terminal here) and nowhere else.

Run by ctest: VEXFCBL and VEXFCBL_DECODE name the built programs.
"""

import os
import pty
import re
import resource
import select
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest

DECODER = os.environ["VEXFCBL_DECODE"]
CONVERTER = os.environ["VEXFCBL"]

# 1024-byte records of which only an 8-byte binary number is shown: a file of
# zeros, made sparse, decodes fast into little output.
ZEROS_COPYBOOK = """\
       01  R.
           05  A       PIC S9(18) COMP.
           05  FILLER  PIC X(1016).
"""
ACCT_COPYBOOK = """\
       01  ACCT.
           05  ACCT-ID      PIC 9(4).
           05  ACCT-NAME    PIC X(6).
"""
EARLIER = b'{"earlier":"output"}\n'


def ebcdic_records(count):
    """ACCT records in IBM037, spelled out byte by byte here."""
    digits = {str(d): 0xF0 + d for d in range(10)}
    letters = dict(zip("ABCDEFGHI", range(0xC1, 0xCA)))
    letters.update(zip("JKLMNOPQR", range(0xD1, 0xDA)))
    letters.update(zip("STUVWXYZ", range(0xE2, 0xEA)))
    letters[" "] = 0x40
    out = bytearray()
    for i in range(count):
        out += bytes(digits[c] for c in "%04d" % (i % 10000))
        out += bytes(letters[c] for c in "ALICE ")
    return bytes(out)


def others_may_enter(folder):
    os.chmod(folder, 0o755)
    return folder


class Folder(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vexdecode-edges-")
        self.put("zeros.cpy", ZEROS_COPYBOOK)
        self.put("acct.cpy", ACCT_COPYBOOK)

    def tearDown(self):
        for root, dirs, _ in os.walk(self.folder):
            for name in dirs:
                os.chmod(os.path.join(root, name), 0o755)
        shutil.rmtree(self.folder, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def put(self, name, data):
        with open(self.path(name), "wb") as file:
            file.write(data.encode() if isinstance(data, str) else data)

    def read(self, name):
        with open(self.path(name), "rb") as file:
            return file.read()

    def zeros(self, name, mib):
        with open(self.path(name), "wb") as file:
            file.truncate(mib << 20)

    def run_tool(self, *args, program=DECODER, **kwargs):
        return subprocess.run([program, *args], cwd=self.folder, capture_output=True,
                              text=True, **kwargs)


class Interrupted(Folder):
    """A signal in the middle of a decode into -o: the earlier output stays, nothing else is
    left, one line says so, and the status is 128 + the signal. The data comes through a
    named pipe, so the decoder is surely in the middle of its work when the signal comes."""

    def interrupt(self, signum, output, earlier):
        os.mkfifo(self.path("feed"))
        if earlier is not None:
            self.put(output, earlier)
        before = sorted(os.listdir(self.folder))
        decoder = subprocess.Popen([DECODER, "-i", "zeros.cpy", "-o", output, "feed"],
                                   cwd=self.folder, stderr=subprocess.PIPE, text=True)
        with open(self.path("feed"), "wb") as feed:
            feed.write(bytes(64 << 20))  # 64 MB of records, while the decoder reads them
            feed.flush()
            time.sleep(0.3)
            self.assertIsNone(decoder.poll())
            decoder.send_signal(signum)
            stderr = decoder.communicate(timeout=30)[1]
        self.assertEqual(sorted(os.listdir(self.folder)), before)
        return decoder.returncode, stderr

    def test_ctrl_c_leaves_the_earlier_output(self):
        status, stderr = self.interrupt(signal.SIGINT, "out.jsonl", EARLIER)
        self.assertEqual(status, 130)
        self.assertEqual(stderr, "vexfcbl-decode: interrupted: out.jsonl left as it was\n")
        self.assertEqual(self.read("out.jsonl"), EARLIER)

    def test_kill_leaves_no_new_output(self):
        status, stderr = self.interrupt(signal.SIGTERM, "new.jsonl", None)
        self.assertEqual(status, 143)
        self.assertEqual(stderr, "vexfcbl-decode: terminated: new.jsonl left as it was\n")
        self.assertFalse(os.path.exists(self.path("new.jsonl")))

    def test_an_output_that_is_the_standard_input_is_refused(self):
        self.put("acct.ebc", ebcdic_records(3))
        with open(self.path("acct.ebc"), "rb") as data:
            run = subprocess.run([DECODER, "-i", "acct.cpy", "-o", "acct.ebc"], stdin=data,
                                 cwd=self.folder, capture_output=True, text=True)
        self.assertEqual((run.returncode, run.stderr),
                         (1, "vexfcbl-decode: -o acct.ebc is the standard input: an input is "
                             "never overwritten\n"))
        self.assertEqual(self.read("acct.ebc"), ebcdic_records(3))

    def test_a_completed_run_replaces_the_earlier_output(self):
        self.put("acct.ebc", ebcdic_records(3))
        self.put("out.jsonl", EARLIER)
        run = self.run_tool("-i", "acct.cpy", "-o", "out.jsonl", "acct.ebc")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(self.read("out.jsonl").splitlines()[2],
                         b'{"ACCT":{"ACCT-ID":2,"ACCT-NAME":"ALICE "}}')


class FullDisk(Folder):
    def test_a_write_that_fails_keeps_the_earlier_output(self):
        """The output may grow to 1 MB only (the file size limit, as a full disk)."""
        self.zeros("zeros.dat", 256)
        self.put("out.jsonl", EARLIER)

        def limited():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, 1 << 20))

        before = sorted(os.listdir(self.folder))
        run = subprocess.run([DECODER, "-i", "zeros.cpy", "-o", "out.jsonl", "zeros.dat"],
                             cwd=self.folder, capture_output=True, text=True,
                             preexec_fn=limited)
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stderr.splitlines()[:2],
                         ["vexfcbl-decode: cannot write out.jsonl: File too large",
                          "vexfcbl-decode: nothing written to out.jsonl"])
        self.assertEqual(self.read("out.jsonl"), EARLIER)
        self.assertEqual(sorted(os.listdir(self.folder)), before)


class Permissions(Folder):
    """Files the user may not read or write. Run as an unprivileged user: as root through
    setpriv (util-linux), which gives up root's right to open any file."""

    def setUp(self):
        super().setUp()
        if os.geteuid() != 0:
            self.prefix = []
        elif shutil.which("setpriv"):
            self.prefix = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
            others_may_enter(self.folder)
            for parent in (os.path.dirname(DECODER), os.path.dirname(CONVERTER)):
                if not os.access(parent, os.X_OK):
                    self.skipTest("the programs are not reachable for another user")
        else:
            self.skipTest("running as root without setpriv")
        self.put("acct.ebc", ebcdic_records(2))
        os.makedirs(self.path("locked"))
        os.makedirs(self.path("shut"))
        self.put("shut/out.jsonl", EARLIER)
        for name in ("acct.cpy", "acct.ebc", "shut/out.jsonl"):
            os.chmod(self.path(name), 0o666)
        os.chmod(self.path("locked"), 0o555)
        os.chmod(self.path("shut"), 0o555)
        self.put("secret.ebc", ebcdic_records(1))
        os.chmod(self.path("secret.ebc"), 0)

    def as_user(self, program, *args):
        return subprocess.run(self.prefix + [program, *args], cwd=self.folder,
                              capture_output=True, text=True)

    def test_decoder_names_the_file_and_the_reason(self):
        run = self.as_user(DECODER, "-i", "acct.cpy", "acct.ebc", "secret.ebc")
        self.assertEqual((run.returncode, run.stderr),
                         (1, "vexfcbl-decode: cannot read secret.ebc: Permission denied\n"))
        run = self.as_user(DECODER, "-i", "acct.cpy", "-o", "locked/x.jsonl", "acct.ebc")
        self.assertEqual((run.returncode, run.stderr),
                         (1, "vexfcbl-decode: cannot write locked/x.jsonl: Permission denied\n"))
        # A writable file in a folder that takes no new file cannot be
        # replaced whole: refused, and left as it was.
        run = self.as_user(DECODER, "-i", "acct.cpy", "-o", "shut/out.jsonl", "acct.ebc")
        self.assertEqual((run.returncode, run.stderr),
                         (1, "vexfcbl-decode: cannot write shut/out.jsonl: cannot create a file "
                             "in shut: Permission denied\n"))
        self.assertEqual(self.read("shut/out.jsonl"), EARLIER)
        self.assertEqual(os.listdir(self.path("locked")), [])

    def test_converter_strict_gives_status_3_for_a_folder_it_cannot_write(self):
        run = self.as_user(CONVERTER, "-strict", "-i", "acct.cpy", "-o", "locked/x.gnv")
        self.assertEqual(run.returncode, 3)
        self.assertEqual(run.stderr.splitlines()[-1],
                         "Error: Cannot write output file 'locked/x.gnv': Permission denied.")
        # Without -strict the run ends as an output that cannot be opened
        # always ends it: normally, without a document.
        run = self.as_user(CONVERTER, "-i", "acct.cpy", "-o", "locked/x.gnv")
        self.assertEqual(run.returncode, 0)
        self.assertNotIn("Error", run.stderr)
        self.assertEqual(os.listdir(self.path("locked")), [])


def on_terminal(command, cwd, timeout=120):
    """Runs `command` with standard error (and output) on a pseudo-terminal;
    returns what the terminal received and the exit status."""
    pid, fd = pty.fork()
    if pid == 0:  # the child: its streams are the terminal
        os.chdir(cwd)
        try:
            os.execv(command[0], command)
        finally:
            os._exit(127)
    received = b""
    deadline = time.time() + timeout
    while time.time() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.5)
        if not ready:
            continue
        try:
            chunk = os.read(fd, 65536)
        except OSError:  # EIO: the child has closed the terminal
            break
        if not chunk:
            break
        received += chunk
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return received.decode("utf-8", "replace"), os.waitstatus_to_exitcode(status)


ERASE = "\r\x1b[K"


class Progress(Folder):
    def test_decoder_shows_progress_on_a_terminal_and_erases_it(self):
        # The line first shows after half a second: 8 GiB of these records take
        # a few seconds (1 GiB took 0.24 s once the decoder wrote its lines in large writes).
        self.zeros("zeros.dat", 8192)
        text, status = on_terminal([DECODER, "-i", "zeros.cpy", "-o", "/dev/null", "zeros.dat"],
                                   self.folder)
        self.assertEqual(status, 0, text)
        lines = re.findall(r"\r\x1b\[K(vexfcbl-decode: [^\r\n]*)(?=\r\x1b\[K)", text)
        self.assertTrue(lines, text)
        for line in lines:
            self.assertRegex(line, r"^vexfcbl-decode: \d+\.\d+ [MG]B of 8\.59 GB \(\d+%\), \d+ "
                                   r"records, \d+\.\d MB/s, \d+:\d\d left$")
        # Erased before the summary, which stays: 8 GiB of 1024-byte records.
        self.assertTrue(text.endswith(ERASE + "vexfcbl-decode: 8388608 records read, 8388608 "
                                              "written, 0 with warnings\r\n"), text[-300:])
        # -j 2: the workers read the batches, the progress still moves on.
        text, status = on_terminal([DECODER, "-j", "2", "-i", "zeros.cpy", "-o", "/dev/null",
                                    "zeros.dat"], self.folder)
        self.assertEqual(status, 0, text)
        shares = [int(share) for share in re.findall(r"\r\x1b\[Kvexfcbl-decode: [^\r\n]* \((\d+)%\)",
                                                     text)]
        self.assertTrue(shares, text)
        self.assertGreater(max(shares), 0, text)
        # -q: neither the progress nor the summary.
        text, status = on_terminal([DECODER, "-q", "-i", "zeros.cpy", "-o", "/dev/null",
                                    "zeros.dat"], self.folder)
        self.assertEqual((status, text), (0, ""))

    def test_no_progress_when_standard_error_is_no_terminal(self):
        self.zeros("zeros.dat", 1024)
        run = self.run_tool("-i", "zeros.cpy", "-o", "/dev/null", "zeros.dat")
        self.assertEqual(run.stderr, "vexfcbl-decode: 1048576 records read, 1048576 written, "
                                     "0 with warnings\n")

    def test_batch_shows_files_done_and_lists_the_failed_ones(self):
        os.makedirs(self.path("books/sub"))
        self.put("books/a.cpy", ACCT_COPYBOOK)
        self.put("books/sub/b.cpy", ACCT_COPYBOOK)
        self.put("books/bad.cpy", "       01  BAD.\n           05  X  PIC.\n")
        command = [CONVERTER, "-batch", "books", "-od", "out"]
        text, status = on_terminal(command, self.folder)
        self.assertEqual(status, 0, text)  # a copybook with errors is no failure of the batch
        self.assertIn(ERASE + "vexfcbl: 3 of 3 files done, 1 without a document", text)
        self.assertTrue(text.endswith("2 converted, 1 stopped, 0 failed\r\n"
                                      "vexfcbl: no document for 1 of 3 files:\r\n"
                                      "  bad.cpy (the copybook has errors)\r\n"), text[-300:])
        piped = self.run_tool(*command[1:], program=CONVERTER)
        self.assertNotIn("files done", piped.stderr)
        self.assertNotIn("no document for", piped.stderr)
        self.assertEqual(piped.stdout, "2 converted, 1 stopped, 0 failed\n")
        text, status = on_terminal(command + ["-q"], self.folder)
        self.assertNotIn("files done", text)
        self.assertNotIn("converted", text)


if __name__ == "__main__":
    unittest.main()
