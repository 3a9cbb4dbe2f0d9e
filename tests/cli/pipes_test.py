#!/usr/bin/env python3
"""vesk-cli as a Unix filter, against the age tool: standard input and
output both ways, cut-short and damaged streams, binary refused on a
terminal, and outputs onto FIFOs and devices left as they were.

Run by ctest with VESK_CLI naming the program; skips itself without the age
programs."""

import os
import shutil
import stat
import subprocess
import sys
import tempfile
import threading
import unittest
import zlib

VESK = os.environ.get("VESK_CLI", "vesk-cli")
AGE = shutil.which("age")
AGE_KEYGEN = shutil.which("age-keygen")
CHUNK = 64 * 1024
SEALED = CHUNK + 16
DAMAGED = "损坏或被截断"
CANNOT_STREAM = "不能作为数据流处理"

try:
    import pexpect
except ImportError:  # the terminal cases need it
    pexpect = None


def sh(command, data=b"", cwd=None, env=None):
    """Runs a shell pipeline; returns (status, stdout bytes, stderr text)."""
    p = subprocess.run(["bash", "-o", "pipefail", "-c", command], input=data, capture_output=True, cwd=cwd,
                       env=env, timeout=120)
    return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace")


@unittest.skipUnless(AGE and AGE_KEYGEN, "the age programs are not installed")
class Pipes(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vesk-pipes-")
        self.tmp = tempfile.mkdtemp(prefix="vesk-pipes-tmp-")
        self.env = dict(os.environ, TMPDIR=self.tmp, V=VESK, VESK_KEY="口令 secret")
        self.key = os.path.join(self.dir, "key.txt")
        subprocess.run([AGE_KEYGEN, "-o", self.key], check=True, capture_output=True)
        self.recipient = subprocess.run([AGE_KEYGEN, "-y", self.key], check=True,
                                        capture_output=True, text=True).stdout.strip()
        self.env.update(R=self.recipient, K=self.key)
        # Over several batches of chunks, so that some plaintext goes out before a late fault.
        self.data = os.urandom(9 * 1024 * 1024 + 12345)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def run_sh(self, command, data=b""):
        return sh(command, data, cwd=self.dir, env=self.env)

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_pipes_both_ways_with_age(self):
        small = b"tar, then age, then tar again\n" * 1000
        os.makedirs(self.path("tree/sub"))
        with open(self.path("tree/sub/a.txt"), "wb") as f:
            f.write(small)
        cases = [
            # (pipeline, stdin, expected stdout)
            ('tar c tree | "$V" encrypt - --format age -r "$R" | age -d -i "$K" | tar x -O tree/sub/a.txt', b"", small),
            ('age -r "$R" | "$V" decrypt - --identity "$K" -o -', self.data, self.data),
            ('age -r "$R" -a | "$V" decrypt - --identity "$K"', self.data, self.data),
            ('"$V" encrypt - --format age -r "$R" --armor | age -d -i "$K"', self.data, self.data),
            ('"$V" encrypt - --format age -r "$R" -o - | "$V" decrypt - --identity "$K" -o -', b"", b""),
            ('"$V" encrypt - --format age -r "$R" -o in.age >/dev/null && age -d -i "$K" in.age', self.data, self.data),
            ('age -r "$R" -o f.age && "$V" decrypt f.age --identity "$K" -o -', self.data, self.data),
            ('"$V" compress - | python3 -c "import sys,zlib; sys.stdout.buffer.write(zlib.decompress(sys.stdin.buffer.read()))"',
             self.data, self.data),
            ('python3 -c "import sys,zlib; sys.stdout.buffer.write(zlib.compress(sys.stdin.buffer.read()))" | "$V" decompress -',
             self.data, self.data),
            ('"$V" compress - -o - --level 1 | "$V" decompress - -o out.bin >/dev/null && cat out.bin', self.data, self.data),
        ]
        for command, given, expected in cases:
            with self.subTest(command=command):
                status, out, err = self.run_sh(command, given)
                self.assertEqual(status, 0, err)
                self.assertEqual(out, expected)

    def test_cut_short_and_damaged_streams_exit_one_with_only_authenticated_plaintext(self):
        encrypted = sh('age -r "$R"', self.data, env=self.env)[1]
        header = encrypted.index(b"\n---") + 4 + 44 + 1 + 16  # MAC line and payload nonce
        last = len(encrypted) - 1

        def flipped(at):
            b = bytearray(encrypted)
            b[at] ^= 1
            return bytes(b)
        cases = [
            # (what, stream, first chunk that cannot be trusted)
            ("header cut", encrypted[:header - 30], 0),
            ("cut inside a chunk", encrypted[:header + 70 * SEALED + 100], 70),
            ("cut at a chunk boundary", encrypted[:header + 100 * SEALED], 100),
            ("last byte gone", encrypted[:last], len(self.data) // CHUNK),
            ("first chunk flipped", flipped(header + 5), 0),
            ("a late chunk flipped", flipped(header + 130 * SEALED + 7), 130),
            ("data behind the end", encrypted + b"x", len(self.data) // CHUNK),
        ]
        for what, stream, bad_chunk in cases:
            with self.subTest(what=what):
                status, out, err = self.run_sh('"$V" decrypt - --identity "$K" -o -', stream)
                self.assertEqual(status, 1, err)
                self.assertIn(DAMAGED, err)
                self.assertLessEqual(len(out), bad_chunk * CHUNK)
                self.assertEqual(out, self.data[:len(out)])
        compressed = zlib.compress(self.data)
        for what, stream in [("zak cut", compressed[:-5]), ("zak flipped", compressed[:-4] + b"\0\0\0\0")]:
            with self.subTest(what=what):
                status, out, err = self.run_sh('"$V" decompress - -o -', stream)
                self.assertEqual(status, 1, err)
                self.assertIn("损坏或被截断", err)
        self.assertEqual(os.listdir(self.tmp), [])

    def test_refusals_write_nothing(self):
        with open(self.path("a.txt"), "wb") as f:
            f.write(b"plain")
        os.mkfifo(self.path("fifo"))
        cases = [
            # (command, exit status, text in the message)
            ('"$V" encrypt - --key-env VESK_KEY -o -', 1, CANNOT_STREAM),
            ('"$V" encrypt a.txt --key-env VESK_KEY -o fifo', 1, CANNOT_STREAM),
            ('"$V" keyless-encrypt - --key-env VESK_KEY', 1, CANNOT_STREAM),
            ('"$V" decrypt - --key-env VESK_KEY -o -', 1, CANNOT_STREAM),
            ('"$V" encrypt . --format age -r "$R" -o -', 1, CANNOT_STREAM),
            ('"$V" encrypt - a.txt --format age -r "$R"', 2, "标准输入"),
            ('"$V" encrypt a.txt a.txt --format age -r "$R" -o -', 2, "标准输出"),
        ]
        before = sorted(os.listdir(self.dir))
        for command, expected, message in cases:
            with self.subTest(command=command):
                status, out, err = self.run_sh(command + " < a.txt")
                self.assertEqual(status, expected, err)
                self.assertIn(message, err)
                self.assertEqual(out, b"")
                self.assertEqual(sorted(os.listdir(self.dir)), before)
                self.assertTrue(stat.S_ISFIFO(os.lstat(self.path("fifo")).st_mode))

    def test_stream_targets_are_written_into_and_left_as_they_are(self):
        os.mkfifo(self.path("fifo"))
        os.symlink("/dev/null", self.path("null-link"))
        targets = [("fifo", stat.S_ISFIFO), ("null-link", stat.S_ISLNK)]
        if os.geteuid() == 0:
            os.mknod(self.path("null-device"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
            targets.append(("null-device", stat.S_ISCHR))
        for name, kind in targets:
            for command in ['"$V" encrypt data --format age -r "$R" -o %s', '"$V" compress data -o %s',
                            '"$V" encrypt data --format age -r "$R" -o %s --yes']:
                with self.subTest(target=name, command=command):
                    with open(self.path("data"), "wb") as f:
                        f.write(self.data)
                    got = []
                    reader = None

                    def drain():
                        with open(self.path("fifo"), "rb") as fifo:
                            got.append(fifo.read())
                    if name == "fifo":
                        reader = threading.Thread(target=drain)
                        reader.start()
                    status, out, err = self.run_sh(command % name)
                    if reader:
                        reader.join(60)
                    self.assertEqual(status, 0, err)
                    self.assertEqual(out, b"")  # no path printed for a stream
                    self.assertTrue(kind(os.lstat(self.path(name)).st_mode))
                    if got and "age" in command:
                        self.assertEqual(sh('age -d -i "$K"', got[0], env=self.env)[1], self.data)
        # /dev/stdout onto a file the shell opened: written through that descriptor.
        status, _, err = self.run_sh('"$V" encrypt data --format age -r "$R" -o /dev/stdout > via-stdout.age')
        self.assertEqual(status, 0, err)
        self.assertEqual(sh('age -d -i "$K" via-stdout.age', cwd=self.dir, env=self.env)[1], self.data)
        self.assertTrue(os.path.islink("/dev/stdout") or not os.path.exists("/dev/stdout"))
        self.assertEqual(sorted(os.listdir(self.tmp)), [])

    @unittest.skipUnless(pexpect, "python3-pexpect is not installed")
    def test_on_a_terminal(self):
        cases = [
            # (command, exit status, expected on the terminal, not expected there)
            ('echo hi | "$V" encrypt - --format age -r "$R"', 1, "--armor", "age-encryption.org"),
            ('echo hi | "$V" compress -', 1, "--armor", None),
            ('echo hi | "$V" encrypt - --format age -r "$R" --armor', 0, "-----BEGIN AGE ENCRYPTED FILE-----", None),
            ('echo hi | "$V" encrypt - --format age -r "$R" -o - | wc -c', 0, "已完成", None),
        ]
        for command, expected, shown, hidden in cases:
            with self.subTest(command=command):
                child = pexpect.spawn("bash", ["-c", command], cwd=self.dir, env=self.env, timeout=60,
                                      encoding="utf-8", codec_errors="replace")
                child.expect(pexpect.EOF)
                child.close()
                self.assertEqual(child.exitstatus, expected, child.before)
                self.assertIn(shown, child.before)
                if hidden:
                    self.assertNotIn(hidden, child.before)
        # Standard input is the data: the passphrase is asked at the terminal itself.
        child = pexpect.spawn("bash", ["-c", 'echo secret | "$V" encrypt - --format age -o pp.age'], cwd=self.dir,
                              env=self.env, timeout=60, encoding="utf-8")
        for _ in range(2):
            child.expect("密码")
            child.sendline("pw 1")
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.exitstatus, 0, child.before)
        child = pexpect.spawn("bash", ["-c", 'age -d pp.age'], cwd=self.dir, env=self.env, timeout=60, encoding="utf-8")
        child.expect("passphrase")
        child.sendline("pw 1")
        child.expect(pexpect.EOF)
        self.assertIn("secret", child.before)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
