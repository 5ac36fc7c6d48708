"""The ping and its report end to end: what the installed program prints after pinging a
local configuration server, what the server sees, and what reaches the agent's log."""

import os
import time
import unittest

from harness import (BAD_FUNCTION_ARGUMENT, CERTIFICATE_FILE, COULDNT_CONNECT, HTTP_RETURNED_ERROR,
                     MODULE, NO_CONNECTION_FACTORY, OK, OPERATION_TIMEDOUT, REPORT_PRINTED,
                     SERVICE_UNAVAILABLE, SSL_CACERT_BADFILE, TOKEN, UNSUPPORTED_PROTOCOL, WINDOWS,
                     ConfigServer, ScratchInstall, header, install_config, leftovers,
                     nothing_arrived, parameter_lines, report, report_message, unused_port)

# The loader's reason for a missing module (wine's text on Windows).
MODULE_NOT_FOUND = b"Module not found" if WINDOWS else b"No such file or directory"


class PingTestCase(unittest.TestCase):
    """Runs the program in a scratch installation and checks what every run must hold:
    status 0 with a report, nothing on standard error, no token in the log, no
    temporary file left beside the certificate."""

    def ping(self, scratch, timeout=20):
        status, out, err = scratch.run(timeout=timeout)
        self.assertEqual((status, err), (REPORT_PRINTED, b""), out)
        self.assert_token_not_logged(scratch)
        self.assertEqual(leftovers(scratch), [])
        return out

    def assert_token_not_logged(self, scratch, token=TOKEN):
        log = scratch.read_log()
        self.assertNotEqual(log, b"", "the run wrote no log")
        self.assertNotIn(token, log, "the application token reached the agent's log")
        self.assertNotIn(token.rstrip(b"="), log, "the application token reached the agent's log")


class WorkedExampleTest(PingTestCase):
    """A server that answers 200: the report of the first contact, then of a pinned run."""

    def test_first_and_second_ping(self):
        with ConfigServer() as server, ScratchInstall() as scratch:
            address = server.address.encode()
            scratch.write_install_config(install_config(address, extra=b"#ConfigurationServer="
                                                                        b"192.0.2.99\n"))
            out = self.ping(scratch)
            self.assertEqual(out, b"\n\nCorvane pinging with config/install_config.txt parameters:"
                                  b"\nApplicationToken = " + TOKEN + b"\nConfigurationServer = "
                                  + address + b"\n\nCertificate file config/ConfigurationServer"
                                  b".PEM existence: Before pinging: false After pinging: true\n"
                                  b"Last response code: 0x000000c8\nLast error code: 0x00000000\n"
                                  b"Last error message: \n")

            requests = server.requests()
            self.assertEqual(len(requests), 1, requests)
            request = requests[0]
            self.assertEqual((request["method"], request["path"]), ("GET", "/ping"))
            self.assertEqual(header(request, "Authorization"), "Bearer " + TOKEN.decode())
            self.assertIn("CorvaneCommon", header(request, "User-Agent") or "")

            out = self.ping(scratch)
            self.assertEqual(out, report(parameter_lines(address), True, True, 200, OK))
            self.assertEqual(len(server.requests()), 2)


class FailedPingTest(PingTestCase):
    """A ping that fails still ends with the report and status 0; the message says what
    failed and where."""

    def test_status_401(self):
        with ConfigServer("status:401") as server, ScratchInstall() as scratch:
            address = server.address.encode()
            scratch.write_install_config(install_config(address))
            message = report_message(self, self.ping(scratch), parameter_lines(address),
                                     False, False, 401, HTTP_RETURNED_ERROR)
            self.assertIn("401 Unauthorized", message)
            self.assertIn(server.address, message)
            self.assertFalse(os.path.lexists(scratch.path(CERTIFICATE_FILE)),
                             "a server that refused the ping was trusted")

    def test_connection_refused(self):
        with ScratchInstall() as scratch:
            address = b"127.0.0.1:%d" % unused_port()
            scratch.write_install_config(install_config(address))
            message = report_message(self, self.ping(scratch), parameter_lines(address),
                                     False, False, 0, COULDNT_CONNECT)
            self.assertIn(address.decode(), message)

    def test_no_answer_ends_at_the_configured_timeout(self):
        with ConfigServer("hang") as server, ScratchInstall() as scratch:
            address = server.address.encode()
            scratch.write_install_config(install_config(address,
                                                        extra=b"ConfigurationServerTimeout=2\n"))
            started = time.monotonic()
            out = self.ping(scratch, timeout=60)
            elapsed = time.monotonic() - started
            self.assertLess(elapsed, 15, "ConfigurationServerTimeout=2 was not applied "
                                         "(the default is 30 s)")
            parameters = parameter_lines(address, extra=[(b"ConfigurationServerTimeout", b"2")])
            message = report_message(self, out, parameters, False, False, 0, OPERATION_TIMEDOUT)
            self.assertIn(server.address, message)
            self.assertEqual(server.paths(), ["/ping"])

    # Only the presence of the file is tested for the report; the connection cannot
    # use a folder as the pinned certificate and sends nothing.
    def test_folder_at_the_certificate_path(self):
        with ConfigServer() as server, ScratchInstall() as scratch:
            address = server.address.encode()
            scratch.write_install_config(install_config(address))
            os.mkdir(scratch.path(CERTIFICATE_FILE))
            message = report_message(self, self.ping(scratch), parameter_lines(address),
                                     True, True, 0, SSL_CACERT_BADFILE)
            self.assertIn(CERTIFICATE_FILE, message)
            self.assertTrue(nothing_arrived(server), "the ping went out without a usable pin")
            self.assertTrue(os.path.isdir(scratch.path(CERTIFICATE_FILE)))

    def test_plain_http_is_refused_before_anything_is_sent(self):
        with ConfigServer() as server, ScratchInstall() as scratch:
            address = b"http://" + server.address.encode()
            scratch.write_install_config(install_config(address))
            message = report_message(self, self.ping(scratch), parameter_lines(address),
                                     False, False, 0, UNSUPPORTED_PROTOCOL)
            self.assertNotEqual(message, "")
            self.assertTrue(nothing_arrived(server), "the token went out over plain HTTP")


class ServiceUnavailableTest(unittest.TestCase):
    """Without its communication module the library has no ConnectionFactory: one line,
    status 2, no report, and the log says why."""

    def test_module_missing(self):
        with ConfigServer() as server, ScratchInstall() as scratch:
            scratch.write_install_config(install_config(server.address.encode()))
            scratch.remove("bin/" + MODULE)
            self.assertEqual(scratch.run(), (SERVICE_UNAVAILABLE, NO_CONNECTION_FACTORY, b""))
            lines = [line for line in scratch.read_log().splitlines()
                     if MODULE.encode() in line]
            self.assertTrue(any(MODULE_NOT_FOUND in line for line in lines),
                            f"the log does not give the loader's reason: {lines!r}")
            self.assertNotIn(TOKEN, scratch.read_log())
            self.assertTrue(nothing_arrived(server, wait=0.2))


class ParameterValuesTest(PingTestCase):
    """The report shows values exactly as stored; the library reads them for its own use."""

    def test_blanks_are_kept_in_the_report(self):
        with ConfigServer() as server, ScratchInstall() as scratch:
            address = b" " + server.address.encode()
            token = b" " + TOKEN
            scratch.write_install_config(install_config(address, token))
            out = self.ping(scratch)
            self.assertEqual(out, report(parameter_lines(address, token), False, True, 200, OK))
            self.assertIn(b"\nConfigurationServer =  127.0.0.1:", out)
            self.assertEqual([header(r, "Authorization") for r in server.requests()],
                             ["Bearer " + TOKEN.decode()])

    def test_base_path(self):
        with ConfigServer() as server, ScratchInstall() as scratch:
            address = server.url("/agent/").encode()
            scratch.write_install_config(install_config(address))
            out = self.ping(scratch)
            self.assertEqual(out, report(parameter_lines(address), False, True, 200, OK))
            self.assertEqual(server.paths(), ["/agent/ping"])

    def test_invalid_timeout_is_logged_and_the_default_used(self):
        with ConfigServer() as server, ScratchInstall() as scratch:
            address = server.address.encode()
            scratch.write_install_config(install_config(address,
                                                        extra=b"ConfigurationServerTimeout=abc\n"))
            out = self.ping(scratch)
            parameters = parameter_lines(address, extra=[(b"ConfigurationServerTimeout", b"abc")])
            self.assertEqual(out, report(parameters, False, True, 200, OK))
            warnings = [line for line in scratch.read_log().splitlines()
                        if b"WARN" in line and b"ConfigurationServerTimeout" in line]
            self.assertTrue(any(b"abc" in line for line in warnings),
                            f"no warning about the timeout in the log: {scratch.read_log()!r}")


    def test_token_with_control_bytes_is_not_sent(self):
        # A carriage return inside the token would add headers of the file's choosing.
        message = (b"ApplicationToken in install_config.txt holds a control character (such as a "
                   b"carriage return or a tab); the ping is refused so that nothing else goes "
                   b"out with it: write the token alone on its line")
        with ConfigServer() as server:
            # The report shows the token's control bytes written out, as the server's text.
            for token, shown in ((b"abc\rX-Injected: 1", b"abc\\x0dX-Injected: 1"),
                                 (b"abc\tdef", b"abc\\x09def"), (b"abc\x7f", b"abc\\x7f")):
                with self.subTest(token=token), ScratchInstall() as scratch:
                    address = server.address.encode()
                    scratch.write_install_config(install_config(address, token))
                    out = self.ping(scratch)
                    self.assertEqual(out, report(parameter_lines(address, shown), False, False, 0,
                                                 BAD_FUNCTION_ARGUMENT, message))
                    self.assertNotIn(b"X-Injected", scratch.read_log())
            self.assertTrue(nothing_arrived(server), "a token with control bytes was sent")


class TokenNotLoggedTest(PingTestCase):
    """One installation pinged through successes and failures: the log names the server
    and what went wrong, never the token."""

    def test_several_runs(self):
        with ScratchInstall() as scratch:
            with ConfigServer("status:401") as server:
                scratch.write_install_config(install_config(server.address.encode()))
                self.ping(scratch)
                scratch.write_install_config(install_config(b"http://" + server.address.encode()))
                self.ping(scratch)
            scratch.write_install_config(install_config(b"127.0.0.1:%d" % unused_port()))
            self.ping(scratch)
            with ConfigServer() as server:
                scratch.write_install_config(
                    install_config(server.address.encode(), extra=b"ConfigurationServerTimeout="
                                                                  b"abc\n"))
                self.ping(scratch)
                self.ping(scratch)
            with ConfigServer() as server:  # another key than the one pinned: error 90
                scratch.write_install_config(install_config(server.address.encode()))
                self.ping(scratch)
            # Every run is in the log that was checked.
            self.assertEqual(scratch.read_log().count(b"Logging started"), 6)


if __name__ == "__main__":
    unittest.main()
