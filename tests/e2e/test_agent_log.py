"""What the agent's log says about a ping: the configuration read aloud with its
warnings, the trace of the transfer, the certificate's lifetime, the clock, a slow answer
and the closing verdict. Each run provokes several findings at once."""

import re
import shutil
import tempfile
import unittest

from harness import (OK, REPORT_PRINTED, TOKEN, ConfigServer, ScratchInstall, key_pin,
                     make_certificate, report)

CONNECTION = rb"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,\d{3} (INFO |WARN |ERROR) \[Ardentis\.Connection\] "


def log_lines(scratch):
    """The connection's log lines as (level, message) pairs of text."""
    return [(m[1].decode().strip(), m[2].decode("utf-8", "replace").rstrip("\r"))
            for m in re.finditer(CONNECTION + rb"(.*)", scratch.read_log())]


class AgentLogTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="corvane-e2e-log-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)

    def run_and_read(self, scratch, expected_report):
        status, out, err = scratch.run()
        self.assertEqual((status, err, out), (REPORT_PRINTED, b"", expected_report))
        self.assertNotIn(TOKEN, scratch.read_log())
        return log_lines(scratch)

    def assert_logged(self, lines, level, pattern):
        self.assertTrue(any(lvl == level and re.fullmatch(pattern, text) for lvl, text in lines),
                        f"no {level} line matching {pattern!r} in:\n" +
                        "\n".join(f"{lvl} {text}" for lvl, text in lines))

    def test_a_good_run_with_a_careless_file_a_wrong_clock_and_an_ageing_certificate(self):
        cert, key = make_certificate(self.folder, days=3)
        pin = re.escape(key_pin(cert))
        with ConfigServer(cert=cert, key=key, date_offset=3600) as server, \
                ScratchInstall() as scratch:
            address = server.address.encode()
            scratch.write_install_config(
                b"\xef\xbb\xbfConfigurationServerTimout=5\nConfigurationServer= %s \n"
                b"ApplicationToken=%s\nconfigurationserver=x\nConfigurationServer=y\n"
                b"#ConfigurationServer=z\n" % (address, TOKEN))
            parameters = (b"ApplicationToken = %s\nConfigurationServer =  %s \n"
                          b"ConfigurationServer = y\nconfigurationserver = x\n"
                          b"\\xef\\xbb\\xbfConfigurationServerTimout = 5\n" % (TOKEN, address))
            lines = self.run_and_read(scratch, report(parameters, False, True, 200, OK))
            where = re.escape(server.address)

            # The configuration read aloud, and what is wrong with the file.
            self.assert_logged(lines, "INFO", rf"install_config\.txt: ConfigurationServer present "
                               rf"\('{where}'\), ApplicationToken present \(value not logged\), "
                               r"ConfigurationServerConnectTimeout absent \(10 s\), "
                               r"ConfigurationServerTimeout absent \(30 s\)")
            self.assert_logged(lines, "WARN", r"install_config\.txt begins with a UTF-8 byte-order "
                               r"mark, which becomes part of the first key .*")
            self.assert_logged(lines, "WARN", r"install_config\.txt: the key '(\\xef\\xbb\\xbf)?"
                               r"ConfigurationServerTimout' is not one the agent reads; if it means "
                               r"ConfigurationServerTimeout, write it exactly so \(keys are "
                               r"case-sensitive\)")
            self.assert_logged(lines, "WARN", r"install_config\.txt: the key 'configurationserver' "
                               r"is not one the agent reads; if it means ConfigurationServer, .*")
            self.assert_logged(lines, "WARN", r"install_config\.txt names ConfigurationServer 2 "
                               r"times; only the first in the file counts: remove the others")
            self.assert_logged(lines, "WARN", r"install_config\.txt: the value of "
                               r"ConfigurationServer has blanks around it; .*")
            self.assertFalse(any("'#ConfigurationServer'" in text for _, text in lines),
                             "a commented-out key was taken for a misspelt one")

            # The trace of the transfer.
            self.assert_logged(lines, "INFO", r"Name lookup: 127\.0\.0\.1: an address, no lookup")
            self.assert_logged(lines, "INFO", rf"Connected to 127\.0\.0\.1 port {server.port}, "
                               r"direct")
            self.assert_logged(lines, "INFO", r"TLS: TLSv1\.[23], cipher \S+")
            self.assert_logged(lines, "INFO", r"Server certificate: subject CN=localhost, issuer "
                               rf"CN=localhost, valid \d{{4}}-\d\d-\d\d to \d{{4}}-\d\d-\d\d, key {pin}")
            self.assert_logged(lines, "INFO", r"HTTP status: 200")
            self.assert_logged(lines, "INFO", r"Times: name lookup [\d.]+ ms, connect [\d.]+ ms, "
                               r"TLS handshake [\d.]+ ms, first byte [\d.]+ ms, total [\d.]+ ms")
            self.assert_logged(lines, "INFO", r"Check passed: the configuration server answered "
                               rf"200 in \d+ ms over TLSv1\.[23], key now pinned {pin}")

            # The certificate's end and the server's clock.
            self.assert_logged(lines, "WARN", r"The server's certificate expires on "
                               r"\d{4}-\d\d-\d\d, in 3 days; .*")
            self.assert_logged(lines, "WARN", r"Clock: the server's time is (.*) UTC, this "
                               r"machine's (.*) UTC; certificate and token checks fail on a wrong "
                               r"clock: .*")

            # The second run names the pin it used.
            lines = self.run_and_read(scratch, report(parameters, True, True, 200, OK))
            self.assert_logged(lines, "INFO", rf"Pinned key: {pin}")
            self.assert_logged(lines, "INFO", r"Check passed: .*, pinned key " + pin)

    def test_an_expired_pinned_certificate_and_a_slow_answer(self):
        # An expired certificate keeps working once pinned: its key is the identity.
        cert, key = make_certificate(self.folder,
                                     validity=("20200101000000Z", "20200201000000Z"))
        with ConfigServer("slow:1.2", cert=cert, key=key) as server, ScratchInstall() as scratch:
            shutil.copyfile(cert, scratch.path("config/ConfigurationServer.PEM"))
            address = server.address.encode()
            scratch.write_install_config(b"ConfigurationServer=%s\nApplicationToken=%s\n"
                                         b"ConfigurationServerTimeout=2\n" % (address, TOKEN))
            parameters = (b"ApplicationToken = %s\nConfigurationServer = %s\n"
                          b"ConfigurationServerTimeout = 2\n" % (TOKEN, address))
            lines = self.run_and_read(scratch, report(parameters, True, True, 200, OK))
            self.assert_logged(lines, "ERROR", r"The server's certificate expired on 2020-02-01; "
                               r"its key is still pinned, but ask the server's owner to renew it")
            self.assert_logged(lines, "WARN", r"Slow answer: the ping took \d+ ms, more than half "
                               r"of its timeout of 2 s \(ConfigurationServerTimeout\); .*")


if __name__ == "__main__":
    unittest.main()
