#!/usr/bin/env python3
"""vesk-cli as a Unix filter, against the age tool: standard input and
output both ways, cut-short and damaged streams, binary refused on a
terminal, and outputs onto FIFOs and devices left as they were; and a
plugin of our own (plugin/age-plugin-vesktest) driven by both clients.

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
        # Standard output closed: the run fails, and /dev/stdout is no file to replace.
        status, _, err = self.run_sh('"$V" encrypt data --format age -r "$R" -o /dev/stdout >&-')
        self.assertEqual(status, 1, err)
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

    @unittest.skipUnless(pexpect, "python3-pexpect is not installed")
    def test_an_empty_passphrase_makes_a_strong_one_that_age_opens(self):
        phrases = set()
        for _ in range(2):
            child = pexpect.spawn("bash", ["-c", 'echo secret | "$V" encrypt - --format age -o gen.age --yes'],
                                  cwd=self.dir, env=self.env, timeout=60, encoding="utf-8")
            child.expect("密码")
            child.sendline("")
            child.expect(r"自动生成的密码: ([a-z-]+)")
            phrase = child.match.group(1)
            child.expect(pexpect.EOF)
            child.close()
            self.assertEqual(child.exitstatus, 0, child.before)
            words = phrase.split("-")
            self.assertEqual([len(w) for w in words], [5] * 7)
            for w in words:
                self.assertTrue(all((c in "aeiou") == (i % 2 == 1) for i, c in enumerate(w)), phrase)
            phrases.add(phrase)
            age = pexpect.spawn("bash", ["-c", "age -d gen.age"], cwd=self.dir, env=self.env, timeout=60,
                                encoding="utf-8")
            age.expect("passphrase")
            age.sendline(phrase)
            age.expect(pexpect.EOF)
            self.assertIn("secret", age.before)
        self.assertEqual(len(phrases), 2)


PLUGIN_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "plugin")


def bech32(hrp, data):
    """Bech32 as the plugin keys use it (no length limit)."""
    charset = "qpzry9x8gf2tvdw0s3jn54khce6mua7l"

    def polymod(values):
        gen = [0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd, 0x2a1462b3]
        chk = 1
        for v in values:
            top = chk >> 25
            chk = (chk & 0x1ffffff) << 5 ^ v
            for i in range(5):
                chk ^= gen[i] if ((top >> i) & 1) else 0
        return chk
    acc = bits = 0
    words = []
    for b in data:
        acc = acc << 8 | b
        bits += 8
        while bits >= 5:
            bits -= 5
            words.append(acc >> bits & 31)
    if bits:
        words.append(acc << (5 - bits) & 31)
    expanded = [ord(x) >> 5 for x in hrp] + [0] + [ord(x) & 31 for x in hrp]
    check = polymod(expanded + words + [0] * 6) ^ 1
    words += [(check >> 5 * (5 - i)) & 31 for i in range(6)]
    return hrp + "1" + "".join(charset[w] for w in words)


@unittest.skipUnless(AGE, "the age program is not installed")
class Plugins(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vesk-plugins-")
        key = os.urandom(16)
        self.recipient = bech32("age1vesktest", key)
        self.identity = bech32("age-plugin-vesktest-", key).upper()
        with open(os.path.join(self.dir, "id.txt"), "w") as f:
            f.write("# a plugin identity\n" + self.identity + "\n")
        with open(os.path.join(self.dir, "m.txt"), "wb") as f:
            f.write(b"for the plugin\n" * 5000)
        self.env = dict(os.environ, V=VESK, R=self.recipient, PATH=PLUGIN_DIR + ":" + os.environ["PATH"],
                        VESKTEST_DEFAULT_KEY=key.hex())

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_sh(self, command, env=None):
        return sh(command, cwd=self.dir, env=env or self.env)

    def test_files_go_both_ways_between_the_clients(self):
        encrypt = {"vesk": '"$V" encrypt m.txt --format age -r "$R" -o x.age --yes >/dev/null',
                   "age": 'age -r "$R" -o x.age m.txt'}
        decrypt = {"vesk": '"$V" decrypt x.age %s -o -', "age": 'age -d %s x.age'}
        for by, encrypting in encrypt.items():
            for with_, decrypting in decrypt.items():
                for key in ["--identity id.txt" if with_ == "vesk" else "-i id.txt", "-j vesktest"]:
                    with self.subTest(encrypted_by=by, decrypted_by=with_, key=key):
                        status, out, err = self.run_sh(encrypting + " && " + decrypting % key)
                        self.assertEqual(status, 0, err)
                        self.assertEqual(out, b"for the plugin\n" * 5000)

    @unittest.skipUnless(pexpect, "python3-pexpect is not installed")
    def test_pins_and_confirmations_are_asked_on_the_terminal_by_both_clients(self):
        self.assertEqual(self.run_sh('age -r "$R" -o x.age m.txt')[0], 0)
        cases = [
            # (client command, environment, what is asked, typed, exit status)
            ('"$V" decrypt x.age --identity id.txt -o out.txt', {"VESKTEST_PIN": "4321"}, "PIN:", "4321", 0),
            ('age -d -i id.txt -o out.txt x.age', {"VESKTEST_PIN": "4321"}, "PIN:", "4321", 0),
            ('"$V" decrypt x.age --identity id.txt -o out.txt', {"VESKTEST_PIN": "4321"}, "PIN:", "1111", 1),
            ('age -d -i id.txt -o out.txt x.age', {"VESKTEST_PIN": "4321"}, "PIN:", "1111", 1),
            ('"$V" decrypt x.age --identity id.txt -o out.txt', {"VESKTEST_CONFIRM": "1"}, "use the key", "y", 0),
        ]
        for command, extra, asked, typed, expected in cases:
            with self.subTest(command=command, typed=typed):
                child = pexpect.spawn("bash", ["-c", command], cwd=self.dir, env=dict(self.env, **extra), timeout=60,
                                      encoding="utf-8", codec_errors="replace")
                child.expect(asked)
                child.sendline(typed)
                child.expect(pexpect.EOF)
                child.close()
                self.assertEqual(child.exitstatus, expected, child.before)
                self.assertNotIn(typed if typed != "y" else "\0", child.before)  # a PIN is never echoed
                out = os.path.join(self.dir, "out.txt")
                self.assertEqual(os.path.exists(out), expected == 0)
                if os.path.exists(out):
                    os.remove(out)

    def test_refusals_write_nothing(self):
        os.symlink(PLUGIN_DIR, os.path.join(self.dir, "here"))
        relative = dict(self.env, PATH="here:" + os.environ["PATH"])
        cases = [
            # (command, environment, exit status, text in the message)
            ('"$V" encrypt m.txt --format age -r "$R" -o x.age', dict(os.environ, V=VESK, R=self.recipient), 1, "age-plugin-vesktest"),
            ('"$V" encrypt m.txt --format age -r "$R" -o x.age', relative, 1, "age-plugin-vesktest"),
            ('"$V" encrypt m.txt --format age -r "$R" -o x.age', dict(self.env, VESKTEST_FAIL="1"), 1, "refused by the test"),
            ('"$V" encrypt m.txt --format age -r "$R" -r "%s" -o x.age' % bech32("age", os.urandom(32)),
             dict(self.env, VESKTEST_LABELS="postquantum"), 1, "labels"),
            ('"$V" decrypt %s -j ../vesktest -o out.txt', self.env, 1, "../vesktest"),
            ('"$V" decrypt %s -j vesktest -o out.txt', dict(self.env, VESKTEST_FAIL="1"), 1, "refused by the test"),
        ]
        self.assertEqual(self.run_sh('age -r "$R" -o y.age m.txt')[0], 0)
        before = sorted(os.listdir(self.dir))
        for command, env, expected, message in cases:
            with self.subTest(command=command):
                status, _, err = self.run_sh(command.replace("%s", "y.age"), env)
                self.assertEqual(status, expected, err)
                self.assertIn(message, err)
                self.assertEqual(sorted(os.listdir(self.dir)), before)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
