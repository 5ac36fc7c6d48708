"""The program shell end to end: command line, install_config.txt and the exit statuses,
on the installed program in a scratch installation."""

import os
import tempfile
import unittest

from harness import (COMMAND_LINE_STOP, MISSING_KEY, NO_INSTALL_CONFIG, NO_PARAMETERS, NO_SERVER,
                     NO_TOKEN, REPORT_PRINTED, REPORT_START, SERVICE_UNAVAILABLE, UNEXPECTED_ERROR,
                     USAGE, WINDOW, ConfigServer, ScratchInstall, fault_environment,
                     not_under_wine, run_program, unavailable)

# The option library's words, not the program's.
UNRECOGNISED_VERBOSE = b"unrecognised option '--verbose'"


def comments(length):
    """Comment lines (no "=") of exactly length bytes."""
    if length == 0:
        return b""
    lines = b"# padding\n" * ((length - 1) // 10)
    return lines + b"#" * (length - len(lines) - 1) + b"\n"


def place(head, tail, start, size=5000):
    """A file of size bytes: head, comment lines, tail at byte start, comment lines."""
    content = head + comments(start - len(head)) + tail
    return content + comments(size - len(content))


class NoParametersTest(unittest.TestCase):
    """Files that yield no entry: one message on standard error and -2, after logging
    has started."""

    CASES = {
        "missing": None,
        "empty": b"",
        "comments only": b"# ConfigurationServer 127.0.0.1:443\n# ApplicationToken abc\n\r\n\n",
        "first byte zero": b"\0ConfigurationServer=127.0.0.1:443\nApplicationToken=abc\n",
        "UTF-16 with BOM":
            "ConfigurationServer=127.0.0.1:443\r\nApplicationToken=abc\r\n".encode("utf-16"),
    }

    def test_no_parameters(self):
        for name, content in self.CASES.items():
            with self.subTest(name), ScratchInstall() as scratch:
                if content is not None:
                    scratch.write_install_config(content)
                status, out, err = scratch.run()
                self.assertEqual((status, out, err), (NO_PARAMETERS, b"", NO_INSTALL_CONFIG))
                self.assertNotEqual(scratch.read_log(), b"", "logging was not started")

    def test_folder_in_place_of_the_file(self):
        with ScratchInstall() as scratch:
            os.mkdir(scratch.install_config)
            self.assertEqual(scratch.run(), (NO_PARAMETERS, b"", NO_INSTALL_CONFIG))


class RequiredKeyTest(unittest.TestCase):
    """The first required key that is missing is named on standard output; status 1."""

    CASES = {
        "no ConfigurationServer": (b"ApplicationToken=abc\n", NO_SERVER),
        "no ApplicationToken": (b"ConfigurationServer=127.0.0.1:443\n", NO_TOKEN),
        "neither": (b"Site=north\n", NO_SERVER),
        "only an empty entry": (b"=\n", NO_SERVER),
        "lower case": (b"configurationserver=127.0.0.1:443\nApplicationToken=abc\n", NO_SERVER),
        "commented out": (b"#ConfigurationServer=127.0.0.1:443\nApplicationToken=abc\n",
                          NO_SERVER),
        "token commented out": (b"ConfigurationServer=127.0.0.1:443\n# ApplicationToken=abc\n",
                                NO_TOKEN),
        "blank inside the key": (b"Configuration Server=127.0.0.1:443\nApplicationToken=abc\n",
                                 NO_SERVER),
        # The loader keeps a UTF-8 byte-order mark as part of the first key.
        "UTF-8 BOM": (b"\xef\xbb\xbfConfigurationServer=127.0.0.1:443\nApplicationToken=abc\n",
                      NO_SERVER),
    }

    def test_missing_keys(self):
        for name, (content, message) in self.CASES.items():
            with self.subTest(name), ScratchInstall() as scratch:
                scratch.write_install_config(content)
                self.assertEqual(scratch.run(), (MISSING_KEY, message, b""))


class WindowTest(unittest.TestCase):
    """5000-byte files: only the first 4096 bytes are read, and a line that crosses that
    point is cut there."""

    KEYS = b"ConfigurationServer=127.0.0.1:443\nApplicationToken=abc\n"

    def run_file(self, content):
        self.assertEqual(len(content), 5000)
        with ScratchInstall() as scratch:
            scratch.write_install_config(content)
            return scratch.run()

    def test_keys_after_the_window_behind_comments(self):
        content = place(b"", self.KEYS, 5000 - len(self.KEYS))
        self.assertGreater(content.index(b"ConfigurationServer"), WINDOW)
        self.assertEqual(self.run_file(content), (NO_PARAMETERS, b"", NO_INSTALL_CONFIG))

    def test_keys_after_the_window_behind_an_entry(self):
        content = place(b"Site=north\n", self.KEYS, 5000 - len(self.KEYS))
        self.assertEqual(self.run_file(content), (MISSING_KEY, NO_SERVER, b""))

    def test_key_cut_before_its_equals_sign(self):
        # "ConfigurationServer" starts 10 bytes before the end of the window: what is
        # left of the line has no "=" and is dropped.
        head = b"ApplicationToken=abc\n"
        tail = b"ConfigurationServer=127.0.0.1:443\n"
        content = place(head, tail, WINDOW - 10)
        self.assertEqual(content.index(tail), WINDOW - 10)
        self.assertEqual(self.run_file(content), (MISSING_KEY, NO_SERVER, b""))

    def test_value_cut_at_the_window(self):
        # The token's "=" lies inside the window, its value crosses it: the key is there
        # and the report shows the value as far as the window reaches.
        head = b"ConfigurationServer=127.0.0.1:443\n"
        token = b"T" * 100
        tail = b"ApplicationToken=" + token + b"\n"
        start = WINDOW - 40
        content = place(head, tail, start)
        self.assertEqual(content.index(tail), start)
        status, out, err = self.run_file(content)
        self.assertEqual((status, err), (REPORT_PRINTED, b""))
        kept = token[:WINDOW - start - len(b"ApplicationToken=")]
        self.assertIn(b"\nApplicationToken = " + kept + b"\n", out)


class CommandLineTest(unittest.TestCase):
    """Help and rejected options stop the run with -3 before logging starts."""

    def test_help(self):
        for args in (["-h"], ["--help"]):
            with self.subTest(args), ScratchInstall() as scratch:
                self.assertEqual(scratch.run(args), (COMMAND_LINE_STOP, USAGE, b""))
                self.assertFalse(scratch.log_exists(), "help started logging")

    def test_unknown_option(self):
        # The message belongs to the option library; it is one line and comes alone,
        # also when help is asked for in the same breath.
        for args in (["--verbose"], ["--help", "--verbose"], ["-h", "--verbose"]):
            with self.subTest(args), ScratchInstall() as scratch:
                status, out, err = scratch.run(args)
                self.assertEqual((status, err), (COMMAND_LINE_STOP, b""))
                self.assertIn(UNRECOGNISED_VERBOSE, out)
                self.assertTrue(out.endswith(b"\n"))
                self.assertEqual(out.count(b"\n"), 1, out)
                self.assertFalse(scratch.log_exists(), "a rejected option started logging")

    def test_help_wins_over_the_configuration(self):
        # Help is decided before install_config.txt is looked at.
        with ScratchInstall() as scratch:
            self.assertEqual(scratch.run(["--help"]), (COMMAND_LINE_STOP, USAGE, b""))


class InstallationLocationTest(unittest.TestCase):
    """The program finds its installation from where its executable lies, not from the
    working directory. A file without the token shows that install_config.txt was read."""

    CONTENT = b"ConfigurationServer=127.0.0.1:443\n"

    def test_run_from_another_directory(self):
        with ScratchInstall() as scratch, tempfile.TemporaryDirectory() as elsewhere:
            scratch.write_install_config(self.CONTENT)
            for cwd in ("/", elsewhere, scratch.config):
                with self.subTest(cwd=cwd):
                    self.assertEqual(scratch.run(cwd=cwd), (MISSING_KEY, NO_TOKEN, b""))
            self.assertEqual(os.listdir(elsewhere), [], "the run wrote into the working directory")

    def test_moved_installation(self):
        for place in ("moved/renamed-agent", "moved/agent with blanks", "moved/agent-é"):
            with self.subTest(place), ScratchInstall() as scratch:
                scratch.write_install_config(self.CONTENT)
                scratch.relocate(place)
                self.assertEqual(scratch.run(cwd="/"), (MISSING_KEY, NO_TOKEN, b""))
                if place.isascii():
                    self.assertNotEqual(scratch.read_log(), b"", "no log in the moved installation")

    # log4cxx decodes paths by the C library's character type, and Windows' C library
    # and std::filesystem read narrow paths in the system's code page: the log folder
    # must still be made in the installation, and logconfig.xml found there, not in
    # folders whose names mangle the non-ASCII bytes.
    def test_log_in_a_non_ascii_installation_path(self):
        with ScratchInstall() as scratch:
            scratch.write_install_config(self.CONTENT)
            scratch.remove("log")
            scratch.relocate("moved/agent-é")
            self.assertEqual(scratch.run(cwd="/"), (MISSING_KEY, NO_TOKEN, b""))
            log = scratch.read_log()
            self.assertNotEqual(log, b"", "no log in the moved installation")
            self.assertNotIn(b"configuration default", log, "logconfig.xml was not found")
            self.assertEqual(os.listdir(os.path.dirname(scratch.root)), ["agent-é"],
                             "folders were made beside the installation")

    @not_under_wine("Windows programs are not started through Unix symbolic links")
    def test_started_through_a_symbolic_link(self):
        with ScratchInstall() as scratch, tempfile.TemporaryDirectory() as elsewhere:
            scratch.write_install_config(self.CONTENT)
            link = os.path.join(elsewhere, "CorvanePing")
            os.symlink(scratch.program, link)
            self.assertEqual(run_program(link, cwd="/"), (MISSING_KEY, NO_TOKEN, b""))


class LibraryFaultTest(unittest.TestCase):
    """What the agent's library fails to bring up ends the run in order, with a line and
    status 2; an error that escapes the run ends it with a line and status 3. The faults
    come from the seams in seams/."""

    def run_fault(self, fault, preload=False, module=False):
        with ScratchInstall() as scratch:
            scratch.write_install_config(b"ConfigurationServer=127.0.0.1:1\nApplicationToken=abc\n")
            if module:
                scratch.use_fault_module()
            return scratch.run(env=fault_environment(fault, preload))

    @not_under_wine("the seam is a library preloaded with LD_PRELOAD")
    def test_no_configuration_manager(self):
        self.assertEqual(self.run_fault("no-configuration-manager", preload=True),
                         (SERVICE_UNAVAILABLE, unavailable(b"the configuration manager"), b""))

    def test_service_is_no_connection_factory(self):
        self.assertEqual(self.run_fault("not-a-connection-factory", module=True),
                         (SERVICE_UNAVAILABLE, unavailable(b"the ConnectionFactory service"), b""))

    def test_no_connection(self):
        self.assertEqual(self.run_fault("no-connection", module=True),
                         (SERVICE_UNAVAILABLE, unavailable(b"a connection"), b""))

    def test_error_escapes_the_run(self):
        self.assertEqual(self.run_fault("throw-from-ping", module=True),
                         (UNEXPECTED_ERROR, b"", b"CorvanePing stopped on an unexpected error: "
                                                 b"the test connection failed on purpose\n"))


class ReportTest(unittest.TestCase):
    """With both keys present the run reaches the ping and ends with the report."""

    def test_keys_with_empty_values_pass(self):
        with ScratchInstall() as scratch:
            scratch.write_install_config(b"ConfigurationServer=\nApplicationToken=\n")
            status, out, err = scratch.run()
            self.assertEqual((status, err), (REPORT_PRINTED, b""))
            self.assertTrue(out.startswith(REPORT_START), out)

    def test_against_a_local_server(self):
        with ConfigServer() as server, ScratchInstall() as scratch:
            scratch.write_install_config(
                b"ConfigurationServer=%s\r\nApplicationToken=e2e-token-0123456789==\r\n"
                % server.address.encode())
            status, out, err = scratch.run()
            self.assertEqual((status, err), (REPORT_PRINTED, b""), out)
            self.assertTrue(out.startswith(REPORT_START), out)
            self.assertIn(b"\nConfigurationServer = %s\n" % server.address.encode(), out)


if __name__ == "__main__":
    unittest.main()
