"""Hostile files in the installation: install_config.txt, logconfig.xml, the log folder and
ConfigurationServer.PEM that are folders, FIFOs, unreadable, held open by a writer,
oversized or malformed. The installed program must neither block nor crash, must say
what the file gave it, and must leave every file it found as it was."""

import fcntl
import os
import re
import resource
import select
import signal
import ssl
import stat
import subprocess
import sys
import unittest

from harness import (HOSTILE_TOKEN, MISSING_KEY, NO_INSTALL_CONFIG, NO_PARAMETERS, NO_SERVER,
                     NO_TOKEN, REPORT_PRINTED, REPORT_START, REPORT_TAIL, RUN_LIMIT,
                     SSL_CACERT_BADFILE, WINDOW, WINDOWS, WINE, ConfigServer, ScratchInstall,
                     child_environment, install_config, not_under_wine, windows_path)

DEFAULT_LOG_STARTED = b"Logging started, configuration default"

NOT_BLOCKING = 20  # seconds: a run that takes longer is taken to hang (sanitizer builds too)

# A file that passes the loader but lacks ConfigurationServer: the run ends right after
# reading it, with status 1, so it shows that the file was read.
KEYS_WITHOUT_SERVER = b"ApplicationToken=" + HOSTILE_TOKEN + b"\n"

# The report's tail with the line end before it, that of the last parameter line, so that
# report_parts cuts the parameter lines off whole.
TAIL_AFTER_PARAMETERS = re.compile(rb"\n" + REPORT_TAIL.pattern)

LOG_CONFIG_10KB = b"""<?xml version="1.0" encoding="UTF-8"?>
<log4j:configuration xmlns:log4j="http://jakarta.apache.org/log4j/">
  <appender name="AgentLog" class="org.apache.log4j.RollingFileAppender">
    <param name="File" value="${CORVANE_LOG_DIR}/CorvaneCommon.log"/>
    <param name="Append" value="true"/>
    <param name="MaxFileSize" value="10KB"/>
    <param name="MaxBackupIndex" value="2"/>
    <layout class="org.apache.log4j.PatternLayout">
      <param name="ConversionPattern" value="%d{ISO8601} %-5p [%c] %m%n"/>
    </layout>
  </appender>
  <root>
    <priority value="info"/>
    <appender-ref ref="AgentLog"/>
  </root>
</log4j:configuration>
"""

# Holds the file named by its argument open for appending until it is killed.
WRITER = ("import sys, time\n"
          "f = open(sys.argv[1], 'ab')\n"
          "print('open', flush=True)\n"
          "time.sleep(120)\n")


def server_keys(server, extra=b""):
    """install_config.txt for server with this suite's token, then the extra lines."""
    return install_config(server.address, HOSTILE_TOKEN, extra)


def snapshot(scratch):
    """Everything in bin/ and config/: the content of config/'s regular files, the kind,
    size and modification time of the rest. Special files are never opened."""
    entries = {}
    for top in ("bin", "config"):
        for folder, folders, files in os.walk(scratch.path(top)):
            for name in folders + files:
                path = os.path.join(folder, name)
                relative = os.path.relpath(path, scratch.root)
                status = os.lstat(path)
                if stat.S_ISREG(status.st_mode) and top == "config":
                    try:
                        with open(path, "rb") as data:
                            entries[relative] = data.read()
                        continue
                    except PermissionError:
                        pass
                entries[relative] = (stat.S_IFMT(status.st_mode), stat.S_IMODE(status.st_mode),
                                     status.st_size if stat.S_ISREG(status.st_mode) else None,
                                     status.st_mtime_ns if stat.S_ISREG(status.st_mode) else None)
    return entries


def report_parts(out):
    """(the parameter lines, (before, after, response, error, message)) of a report."""
    if not out.startswith(REPORT_START):
        raise AssertionError(f"no report: {out!r}")
    match = TAIL_AFTER_PARAMETERS.search(out)
    if not match:
        raise AssertionError(f"the report does not end as it should: {out!r}")
    parameters = out[len(REPORT_START):match.start() + 1]
    return parameters, (match[1] == b"true", match[2] == b"true", int(match[3], 16),
                        int(match[4], 16), match[5])


class HostileFileCase(unittest.TestCase):
    """Runs the program and checks that whatever was in bin/ and config/ is still there as
    it was; only ConfigurationServer.PEM may appear, and nothing else (no temporary file)."""

    def run_scratch(self, scratch, timeout=RUN_LIMIT, **options):
        before = snapshot(scratch)
        try:
            if options:
                done = subprocess.run([scratch.program], stdin=subprocess.DEVNULL,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      env=child_environment(), timeout=timeout, check=False,
                                      **options)
                result = done.returncode, done.stdout, done.stderr
            else:
                result = scratch.run(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.fail(f"the run did not end within {timeout} s (blocked on a file?)")
        after = snapshot(scratch)
        for name, content in before.items():
            self.assertIn(name, after, f"{name} is gone")
            self.assertEqual(after[name], content, f"{name} changed")
        new = set(after) - set(before)
        self.assertLessEqual(new, {"config/ConfigurationServer.PEM"}, "files left behind")
        return result

    def run_ping(self, scratch, timeout=RUN_LIMIT):
        """A run that must end with the report: returns (parameter lines, outcome)."""
        status, out, err = self.run_scratch(scratch, timeout)
        self.assertEqual((status, err), (REPORT_PRINTED, b""), out)
        parameters, outcome = report_parts(out)
        if os.path.isdir(scratch.log_dir):
            self.assertNotIn(HOSTILE_TOKEN, scratch.read_log(), "the token reached the log")
        if not outcome[1]:
            self.assertFalse(os.path.exists(scratch.path("config/ConfigurationServer.PEM")))
        return parameters, outcome


def certificate_der(path):
    with open(path, encoding="ascii") as pem:
        return ssl.PEM_cert_to_DER_cert(pem.read())


def may_take_read_lease(path):
    """None when this process may take a read lease on path, otherwise why not."""
    fd = os.open(path, os.O_RDONLY)
    try:
        fcntl.fcntl(fd, fcntl.F_SETLEASE, fcntl.F_RDLCK)
        fcntl.fcntl(fd, fcntl.F_SETLEASE, fcntl.F_UNLCK)
        return None
    except OSError as error:
        return f"no read lease on {path}: {error}"
    finally:
        os.close(fd)


def open_to_others(scratch):
    """Lets any user run the installation and write its log."""
    os.chmod(scratch.folder, 0o755)
    for folder, folders, files in os.walk(scratch.root):
        os.chmod(folder, 0o755)
        for name in files:
            path = os.path.join(folder, name)
            os.chmod(path, os.stat(path).st_mode | 0o444)
    os.chmod(scratch.log_dir, 0o777)


class InstallConfigTest(HostileFileCase):
    """install_config.txt that cannot be read counts as missing; odd content is read as
    far as the loader's rules go."""

    def test_not_a_regular_file(self):
        # Nothing ever opens the FIFO for writing: a reader that waited for one would hang.
        makers = {"folder": os.mkdir, "FIFO": os.mkfifo}
        for name, make in makers.items():
            with self.subTest(name), ScratchInstall() as scratch:
                make(scratch.install_config)
                self.assertEqual(self.run_scratch(scratch, timeout=NOT_BLOCKING),
                                 (NO_PARAMETERS, b"", NO_INSTALL_CONFIG))

    @not_under_wine("the wine prefix belongs to one user, and Windows has no mode bits")
    def test_no_read_permission(self):
        with ScratchInstall() as scratch:
            scratch.write_install_config(KEYS_WITHOUT_SERVER)
            options = {}
            if os.geteuid() == 0:
                # root reads whatever the mode says: run as nobody instead.
                open_to_others(scratch)
                options = {"user": 65534, "group": 65534, "extra_groups": []}
                try:
                    subprocess.run(["/bin/true"], timeout=10, check=True, **options)
                except (OSError, subprocess.SubprocessError) as error:
                    self.skipTest(f"cannot run a program as user 65534: {error}")
            # The same file while it is readable: read, so the run stops at the missing key.
            self.assertEqual(self.run_scratch(scratch, **options), (MISSING_KEY, NO_SERVER, b""))
            os.chmod(scratch.install_config, 0)
            self.assertEqual(self.run_scratch(scratch, **options),
                             (NO_PARAMETERS, b"", NO_INSTALL_CONFIG))

    # Windows refuses the open through share modes, among Windows processes only: there
    # the writer is a Windows process too (seams/windows_helper.cpp).
    def test_held_open_for_writing(self):
        with ScratchInstall() as scratch:
            path = scratch.write_install_config(KEYS_WITHOUT_SERVER)
            if WINDOWS:
                writer_command = [WINE, os.environ["CORVANE_WINDOWS_HELPER"], "hold",
                                  windows_path(path)]
                shown, reason = windows_path(path), rb"[^\n]+ \(error 32\)"
            else:
                why_not = may_take_read_lease(path)
                if why_not:
                    self.skipTest(why_not)
                writer_command = [sys.executable, "-c", WRITER, path]
                shown, reason = path, rb"another process has it open for writing"
            writer = subprocess.Popen(writer_command, stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, env=child_environment())
            try:
                ready, _, _ = select.select([writer.stdout], [], [], 20)
                self.assertTrue(ready and writer.stdout.readline().strip() == b"open",
                                "the writer did not open the file")
                self.assertEqual(self.run_scratch(scratch, timeout=NOT_BLOCKING),
                                 (NO_PARAMETERS, b"", NO_INSTALL_CONFIG))
                # The console keeps the program's message; the log says why.
                self.assertRegex(scratch.read_log(), rb"ERROR \[CorvanePing.InstallParameters\] "
                                 rb"Cannot read " + re.escape(shown.encode()) + b": " + reason)
            finally:
                writer.kill()
                writer.wait(timeout=10)
                writer.stdin.close()
                writer.stdout.close()
            # Once the writer is gone the same file is read.
            self.assertEqual(self.run_scratch(scratch), (MISSING_KEY, NO_SERVER, b""))


class InstallConfigContentTest(HostileFileCase):
    """Content that the loader must cut or keep as it is; the report shows what it took."""

    @classmethod
    def setUpClass(cls):
        cls.server = cls.enterClassContext(ConfigServer())

    def ping(self, content):
        with ScratchInstall() as scratch:
            scratch.write_install_config(content)
            parameters, outcome = self.run_ping(scratch)
            if outcome[1]:
                # What was pinned is the server's whole certificate.
                self.assertEqual(certificate_der(scratch.path("config/ConfigurationServer.PEM")),
                                 certificate_der(self.server.cert))
            return parameters, outcome

    def keys_shown(self):
        """The report's lines for the server and token, in report order."""
        return b"ApplicationToken = %s\nConfigurationServer = %s\n" % (
            HOSTILE_TOKEN, self.server.address.encode())

    def test_larger_than_the_window(self):
        content = server_keys(self.server) + b"# padding\n" * 1000 + b"Beyond=yes\n"
        self.assertGreater(len(content), 2 * WINDOW)
        parameters, outcome = self.ping(content)
        self.assertEqual(parameters, self.keys_shown())
        self.assertEqual(outcome[2:4], (200, 0), outcome)

    def test_zero_byte_ends_the_text(self):
        parameters, outcome = self.ping(server_keys(self.server, b"Site=north\0Hidden=yes\n"))
        self.assertEqual(parameters, self.keys_shown() + b"Site = north\n")
        self.assertEqual(outcome[3], 0, outcome)
        # A zero byte before ConfigurationServer hides it.
        with ScratchInstall() as scratch:
            scratch.write_install_config(KEYS_WITHOUT_SERVER + b"\0" + server_keys(self.server))
            self.assertEqual(self.run_scratch(scratch), (MISSING_KEY, NO_SERVER, b""))

    def test_line_as_long_as_the_window(self):
        head = server_keys(self.server)
        long_line = b"Long=" + b"L" * (WINDOW - 5)
        parameters, outcome = self.ping(head + long_line + b"\nAfter=1\n")
        kept = long_line[5:WINDOW - len(head)]
        self.assertEqual(parameters, self.keys_shown() + b"Long = " + kept + b"\n")
        self.assertEqual(outcome[3], 0, outcome)
        # The same line first fills the whole window: the keys after it are never read.
        with ScratchInstall() as scratch:
            scratch.write_install_config(long_line + b"\n" + head)
            self.assertEqual(self.run_scratch(scratch), (MISSING_KEY, NO_SERVER, b""))

    def test_carriage_return_is_not_a_line_end(self):
        parameters, outcome = self.ping(server_keys(self.server, b"Site=1\rZone=2\r\n"))
        self.assertEqual(parameters, self.keys_shown() + b"Site = 1\\x0dZone=2\n")
        self.assertEqual(outcome[3], 0, outcome)
        # A file with carriage returns alone is one line: one key, the rest its value.
        with ScratchInstall() as scratch:
            scratch.write_install_config(
                b"ConfigurationServer=%s\rApplicationToken=%s\r" % (
                    self.server.address.encode(), HOSTILE_TOKEN))
            self.assertEqual(self.run_scratch(scratch), (MISSING_KEY, NO_TOKEN, b""))


class LogConfigTest(HostileFileCase):
    """A logconfig.xml that cannot serve gives the default log; nothing reaches the console."""

    def test_unusable_log_configuration(self):
        cases = {
            "missing": None,
            "invalid XML": b"<?xml version=\"1.0\"?>\n<log4j:configuration><appender name=",
            "empty": b"",
            "binary": bytes(range(256)) * 4,
            "not a log configuration": b"<?xml version=\"1.0\"?>\n<html><body/></html>\n",
            "folder": os.mkdir,
            "FIFO": os.mkfifo,
        }
        for name, content in cases.items():
            with self.subTest(name), ScratchInstall() as scratch:
                path = scratch.path("config/logconfig.xml")
                os.remove(path)
                if callable(content):
                    content(path)
                elif content is not None:
                    scratch.write_file("config/logconfig.xml", content)
                scratch.write_install_config(KEYS_WITHOUT_SERVER)
                self.assertEqual(self.run_scratch(scratch, timeout=NOT_BLOCKING),
                                 (MISSING_KEY, NO_SERVER, b""))
                self.assertIn(DEFAULT_LOG_STARTED, scratch.read_log(),
                              f"a logconfig.xml that is {name} left no default log in "
                              f"log/CorvaneCommon.log")

    def test_log_folder_cannot_be_created(self):
        with ConfigServer() as server:
            for shipped in (True, False):
                with self.subTest(shipped_log_configuration=shipped), ScratchInstall() as scratch:
                    if not shipped:
                        scratch.remove("config/logconfig.xml")
                    os.rmdir(scratch.log_dir)
                    in_the_way = scratch.write_file("log", b"a file where log/ belongs\n")
                    scratch.write_install_config(server_keys(server))
                    _, outcome = self.run_ping(scratch)
                    self.assertEqual(outcome[2:4], (200, 0), outcome)
                    with open(in_the_way, "rb") as data:
                        self.assertEqual(data.read(), b"a file where log/ belongs\n")

    def test_log_file_that_cannot_be_written(self):
        # A device that is always full and a FIFO that nobody reads, at the log file's
        # path: the run neither stops nor blocks, and nothing reaches the console.
        makers = {"link to /dev/full": lambda path: os.symlink("/dev/full", path),
                  "FIFO": os.mkfifo}
        with ConfigServer() as server:
            for shipped in (True, False):
                for name, make in makers.items():
                    with self.subTest(name, shipped_log_configuration=shipped), \
                            ScratchInstall() as scratch:
                        if not shipped:
                            scratch.remove("config/logconfig.xml")
                        make(scratch.log_path)
                        scratch.write_install_config(server_keys(server))
                        _, outcome = self.run_ping(scratch, NOT_BLOCKING)
                        self.assertEqual(outcome, (False, True, 200, 0, b""))

    def test_log_configuration_that_anyone_may_write_is_not_used(self):
        # Whoever may write logconfig.xml chooses where the run writes: on Linux its mode
        # bits say who, on Windows its access list (wine gives Everyone write for 0666).
        with ScratchInstall() as scratch:
            elsewhere = scratch.path("elsewhere.log")
            config = scratch.write_file(
                "config/logconfig.xml",
                b'<?xml version="1.0"?>\n<log4j:configuration xmlns:log4j="x">'
                b'<appender name="A" class="org.apache.log4j.FileAppender">'
                b'<param name="File" value="%s"/><layout class="org.apache.log4j.PatternLayout"/>'
                b'</appender><root><appender-ref ref="A"/></root></log4j:configuration>\n'
                % (windows_path(elsewhere) if WINDOWS else elsewhere).encode())
            os.chmod(config, 0o666)
            scratch.write_install_config(KEYS_WITHOUT_SERVER)
            self.assertEqual(self.run_scratch(scratch), (MISSING_KEY, NO_SERVER, b""))
            self.assertFalse(os.path.exists(elsewhere), "a logconfig.xml anyone may write was used")
            self.assertIn(b"logconfig.xml is not used", scratch.read_log())

    def test_links_at_the_log_are_not_written_through(self):
        # A link at the log file, to a file elsewhere: nothing reaches that file. (wine
        # shows a link at a file in no attribute; the file's final path gives it away.) On
        # Windows the log folder may be no reparse point either: a member with Modify on it
        # could have made it a junction.
        places = ["file"] + (["folder"] if WINDOWS else [])
        with ConfigServer() as server:
            for shipped in (True, False):
                for place in places:
                    with self.subTest(place, shipped_log_configuration=shipped), \
                            ScratchInstall() as scratch:
                        if not shipped:
                            scratch.remove("config/logconfig.xml")
                        elsewhere = scratch.path("elsewhere")
                        os.mkdir(elsewhere)
                        planted = os.path.join(elsewhere, "CorvaneCommon.log")
                        with open(planted, "wb"):
                            pass
                        if place == "file":
                            os.symlink(planted, scratch.log_path)
                        else:
                            os.rmdir(scratch.log_dir)
                            os.symlink(elsewhere, scratch.log_dir)
                        scratch.write_install_config(server_keys(server))
                        _, outcome = self.run_ping(scratch)
                        self.assertEqual(outcome[2:4], (200, 0), outcome)
                        self.assertEqual(os.listdir(elsewhere), ["CorvaneCommon.log"])
                        self.assertEqual(os.path.getsize(planted), 0, "the log went through")

    @not_under_wine("a Unix file-size limit stands in for the full disk, and wine's own "
                    "processes would share it")
    def test_full_disk(self):
        # A file size limit at the log's present size stands in for a full disk: every
        # write to the log fails, before and after the ping. The certificate still fits.
        full = 64 * 1024

        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a failed write, not a signal
            resource.setrlimit(resource.RLIMIT_FSIZE, (full, full))

        with ConfigServer() as server:
            for shipped in (True, False):
                with self.subTest(shipped_log_configuration=shipped), ScratchInstall() as scratch:
                    if not shipped:
                        scratch.remove("config/logconfig.xml")
                    scratch.write_file("log/CorvaneCommon.log", b"#" * full)
                    scratch.write_install_config(server_keys(server))
                    status, out, err = self.run_scratch(scratch, preexec_fn=limit_file_size,
                                                        restore_signals=False)
                    self.assertEqual((status, err), (REPORT_PRINTED, b""), out)
                    self.assertEqual(report_parts(out)[1], (False, True, 200, 0, b""))
                    self.assertEqual(os.path.getsize(scratch.log_path), full)

    @not_under_wine("Windows has no mode bits: the log takes its folder's access list")
    def test_new_log_keeps_others_out(self):
        # Even under a umask of 0, the log folder and file the run creates give others
        # nothing: the log can name servers and paths.
        with ScratchInstall() as scratch:
            os.rmdir(scratch.log_dir)
            scratch.write_install_config(KEYS_WITHOUT_SERVER)
            self.assertEqual(self.run_scratch(scratch, preexec_fn=lambda: os.umask(0)),
                             (MISSING_KEY, NO_SERVER, b""))
            for path in (scratch.log_dir, scratch.log_path):
                self.assertEqual(stat.S_IMODE(os.stat(path).st_mode) & 0o007, 0, path)

    def test_log_rolls_over(self):
        # Each run logs about 1 KB (an invalid timeout, the configuration read aloud), and the
        # http:// address stops the ping before anything is sent: 40 runs fill several 10 KB
        # files.
        with ScratchInstall() as scratch:
            scratch.write_file("config/logconfig.xml", LOG_CONFIG_10KB)
            scratch.write_install_config(b"ConfigurationServer=http://127.0.0.1:1\n"
                                         b"ApplicationToken=%s\nConfigurationServerTimeout=%s\n"
                                         % (HOSTILE_TOKEN, b"9" * 3000))
            scratch.write_file("log/CorvaneCommon.log", b"pre-filled line\n" * 1280)  # 20 KB
            logs = []
            for _ in range(40):
                status, out, err = self.run_scratch(scratch)
                self.assertEqual((status, err), (REPORT_PRINTED, b""), out)
                logs = sorted(name for name in os.listdir(scratch.log_dir)
                              if name.startswith("CorvaneCommon.log"))
                self.assertLessEqual(set(logs), {"CorvaneCommon.log", "CorvaneCommon.log.1",
                                                 "CorvaneCommon.log.2"}, logs)
            self.assertEqual(len(logs), 3, logs)
            for name in logs:
                with open(os.path.join(scratch.log_dir, name), "rb") as log:
                    content = log.read()
                # A file rolls once a message takes it past 10 KB: one message may overshoot.
                self.assertLessEqual(len(content), 10 * 1024 + 4096, name)
                self.assertNotIn(b"pre-filled line", content, "the oversized log was kept")
                self.assertNotIn(HOSTILE_TOKEN, content)


class CertificateFileTest(HostileFileCase):
    """A ConfigurationServer.PEM that cannot be used stops the ping before it connects."""

    @classmethod
    def setUpClass(cls):
        cls.server = cls.enterClassContext(ConfigServer())
        with open(cls.server.cert, "rb") as pem:
            cls.certificate = pem.read()
        with open(cls.server.key, "rb") as pem:
            cls.key = pem.read()

    def message(self, why):
        return (b"config/ConfigurationServer.PEM cannot be used: " + why +
                b"; replace it with the configuration server's certificate in PEM form, or "
                b"delete it so that the next ping trusts the server")

    def refused(self, make):
        """Puts make(path) in place of the certificate file and pings; returns the message."""
        with ScratchInstall() as scratch:
            make(scratch.path("config/ConfigurationServer.PEM"))
            scratch.write_install_config(server_keys(self.server))
            connections = self.server.connections()
            _, (before, after, response, error, message) = self.run_ping(scratch, NOT_BLOCKING)
            self.assertEqual((before, after, response, error),
                             (True, True, 0, SSL_CACERT_BADFILE), message)
            self.assertEqual(self.server.connections(), connections, "the ping connected")
            return message

    def test_content_that_is_no_certificate(self):
        der = ssl.PEM_cert_to_DER_cert(self.certificate.decode("ascii"))
        cases = {
            "empty": (b"", b"it is empty"),
            "truncated": (self.certificate[:len(self.certificate) // 2],
                          b"it holds no certificate in PEM form"),
            "private key": (self.key, b"it holds no certificate in PEM form"),
            "DER": (der, b"it holds no certificate in PEM form"),
            "text": (b"not a certificate\n", b"it holds no certificate in PEM form"),
            "too large": (self.certificate + b"#" * (64 * 1024), b"it is larger than 64 KiB"),
        }
        for name, (content, why) in cases.items():
            with self.subTest(name):
                def write(path, content=content):
                    with open(path, "wb") as out:
                        out.write(content)
                self.assertEqual(self.refused(write), self.message(why))

    def test_not_a_regular_file(self):
        why = b"it cannot be read (not a regular file, no access, or being written)"
        # Windows has no FIFOs: wine cannot even query the status of one.
        makers = {"folder": os.mkdir} if WINDOWS else {"FIFO": os.mkfifo, "folder": os.mkdir}
        for name, make in makers.items():
            with self.subTest(name):
                self.assertEqual(self.refused(make), self.message(why))


if __name__ == "__main__":
    unittest.main()
