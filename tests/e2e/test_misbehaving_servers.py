"""Configuration servers that misbehave: the installed program still ends in time with
its report and status 0, says in the error code and message what went wrong, keeps the
token out of its log and pins no certificate after a failed first contact."""

import os
import resource
import ssl
import tempfile
import time
import unittest

from harness import (CONNECT_TIMEOUT, HTTP_RETURNED_ERROR, MISBEHAVING_TOKEN, OK,
                     OPERATION_TIMEDOUT, OUT_OF_MEMORY, PEER_FAILED_VERIFICATION, REPORT_PRINTED,
                     REPORT_START, RUN_LIMIT, SSL_CONNECT_ERROR, TIMEOUT, WEIRD_SERVER_REPLY,
                     WINDOWS, ConfigServer, Ping, ScratchInstall, install_config, make_certificate)

MARGIN = 8  # seconds on top of TIMEOUT for start-up and shutdown, sanitizer builds included

def finished_with_the_connection(server):
    """True once the server recorded what became of the connection it accepted."""
    return len(server.events()) > server.connections() > 0


def config_files(scratch):
    """Every entry of config/ with its content (regular files) or its kind."""
    files = {}
    for name in os.listdir(scratch.config):
        path = os.path.join(scratch.config, name)
        if os.path.isfile(path) and not os.path.islink(path):
            with open(path, "rb") as data:
                files[name] = data.read()
        else:
            files[name] = "not a regular file"
    return files


class MisbehavingServerTest(unittest.TestCase):
    """One run per server behaviour, all on first contact (no ConfigurationServer.PEM)."""

    def ping(self, server):
        """Runs the program against server in a fresh installation and checks what every
        run must give; returns (Ping, scratch config files after the run)."""
        with ScratchInstall() as scratch:
            scratch.write_install_config(install_config(server.address, MISBEHAVING_TOKEN,
                                                        timeout=TIMEOUT,
                                                        connect_timeout=CONNECT_TIMEOUT))
            before = config_files(scratch)
            started = time.monotonic()
            status, out, err = scratch.run(timeout=RUN_LIMIT)
            elapsed = time.monotonic() - started
            self.assertEqual((status, err), (REPORT_PRINTED, b""), out)
            self.assertTrue(out.startswith(REPORT_START), out)
            ping = Ping(out, elapsed)
            self.assertLess(elapsed, TIMEOUT + MARGIN, f"the run outlasted its timeout: {ping}")
            log = scratch.read_log()
            self.assertNotEqual(log, b"", "no log written")
            # (A CR belongs to the line end of a log written on Windows.)
            self.assertNotRegex(log, rb"[\x00-\x09\x0b\x0c\x0e-\x1f\x7f]|\r(?!\n)",
                                "a control byte reached the log")
            self.assertNotIn(MISBEHAVING_TOKEN, log, "the token reached the log")
            self.assertFalse(ping.before, ping)
            after = config_files(scratch)
            for name, content in before.items():
                self.assertEqual(after.get(name), content, f"config/{name} changed")
            if ping.error != OK:
                self.assertFalse(ping.after, f"a failed ping pinned a certificate: {ping}")
                self.assertEqual(after, before, "a failed ping left files in config/")
            return ping, after

    def assert_failure(self, ping, error, response, message_start):
        self.assertEqual((ping.error, ping.response), (error, response), ping)
        self.assertTrue(ping.message.startswith(message_start), ping)

    def where(self, server):
        return f"the configuration server at {server.address}"

    def test_stall_handshake(self):
        with ConfigServer("stall-handshake") as server:
            ping, _ = self.ping(server)
            self.assert_failure(ping, OPERATION_TIMEDOUT, 0,
                                f"No answer in time from {self.where(server)}")
            self.assertEqual(server.requests(), [])

    def test_hang(self):
        with ConfigServer("hang") as server:
            ping, _ = self.ping(server)
            self.assert_failure(ping, OPERATION_TIMEDOUT, 0,
                                f"No answer in time from {self.where(server)}")
            self.assertEqual(server.paths(), ["/ping"])

    def test_close_mid_response(self):
        # The status line came, the headers never ended: libcurl calls that a complete
        # transfer, the connection does not.
        with ConfigServer("close-mid-response") as server:
            ping, _ = self.ping(server)
            self.assertEqual((ping.error, ping.response, ping.message),
                             (WEIRD_SERVER_REPLY, 200,
                              f"No complete HTTP answer from {self.where(server)}"), ping)

    def test_huge_header(self):
        # libcurl refuses a header line beyond its limit (100 KiB) with its out-of-memory
        # code instead of reading the whole megabyte.
        with ConfigServer("huge-header") as server:
            ping, _ = self.ping(server)
            self.assertEqual((ping.error, ping.response, ping.message),
                             (OUT_OF_MEMORY, 200, f"The answer of {self.where(server)} has a "
                                                  f"header too large to read"), ping)

    def test_trailer_flood(self):
        # libcurl keeps every trailer and bounds only each line: the connection stops
        # reading at 256 KiB of header and trailer lines, so the run stays small.
        with ConfigServer("trailer-flood") as server:
            ping, _ = self.ping(server)
            self.assertEqual((ping.error, ping.response, ping.message),
                             (OUT_OF_MEMORY, 200, f"The answer of {self.where(server)} has more "
                                                  "header and trailer lines than the check reads "
                                                  "(256 KiB)"), ping)
            if not WINDOWS:  # the largest child so far, in KiB
                self.assertLess(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss,
                                64 * 1024)

    def test_huge_body(self):
        # Only the first 64 KiB of a body are read; the answer counts by its status.
        with ConfigServer("huge-body") as server:
            ping, after = self.ping(server)
            self.assertEqual((ping.error, ping.response, ping.message), (OK, 200, ""), ping)
            self.assertTrue(ping.after, ping)
            with open(server.cert, encoding="ascii") as pem:
                served = ssl.PEM_cert_to_DER_cert(pem.read())
            pinned = ssl.PEM_cert_to_DER_cert(after["ConfigurationServer.PEM"].decode("ascii"))
            self.assertEqual(pinned, served, "the pinned certificate is not the server's")
            sent = server.wait_for(
                lambda s: [e for e in s.events() if e["kind"] == "body-sent"])
            self.assertTrue(sent, "the server never saw the client go away")
            self.assertFalse(sent[0]["complete"], f"the whole body was downloaded: {sent}")

    def test_not_http(self):
        with ConfigServer("not-http") as server:
            ping, _ = self.ping(server)
            self.assert_failure(ping, WEIRD_SERVER_REPLY, 0,
                                f"No complete HTTP answer from {self.where(server)}")

    def test_drip(self):
        with ConfigServer("drip") as server:
            ping, _ = self.ping(server)
            self.assert_failure(ping, OPERATION_TIMEDOUT, 0,
                                f"No answer in time from {self.where(server)}")

    def test_reason_phrase_reaches_the_console_escaped(self):
        # Escape sequences of the server's choosing would clear the screen, retitle the
        # window and overwrite the line; they arrive written out, and cut short.
        with ConfigServer("evil-reason") as server:
            ping, _ = self.ping(server)
            # C1 controls too: CSI as UTF-8 (C2 9B) and as the bare byte 9B. 160 bytes of
            # "403 <phrase>" are kept: 42 before the first "!", 118 of them.
            reason = (r"\x1b]0;owned\x07\x1b[2J\x1b[H\x0dCheck passed\x7f\xc2\x9b2J\x9b0m" +
                      "!" * 118 + "...")
            self.assertEqual((ping.error, ping.response), (HTTP_RETURNED_ERROR, 403), ping)
            self.assertEqual(ping.message, f"The configuration server at {server.address} "
                                           f"answered 403 {reason}")

    def test_redirect_is_not_followed(self):
        with ConfigServer("redirect") as server:
            ping, _ = self.ping(server)
            self.assertEqual(
                (ping.error, ping.response, ping.message),
                (HTTP_RETURNED_ERROR, 302, f"The configuration server at {server.address} "
                                           f"answered 302 Found"), ping)
            self.assertEqual(server.paths(), ["/ping"], "the redirect was followed")
            self.assertEqual(server.connections(), 1, "the redirect was followed")

    def test_certificate_for_another_name(self):
        with tempfile.TemporaryDirectory() as folder:
            cert, key = make_certificate(folder, "other.example",
                                         subject_alt_name="DNS:other.example")
            with ConfigServer(cert=cert, key=key) as server:
                ping, _ = self.ping(server)
                self.assert_failure(ping, PEER_FAILED_VERIFICATION, 0,
                                    f"The certificate of {self.where(server)} is not valid "
                                    f"for that address")
                # The name is checked in the handshake: no request, so no token, was sent.
                server.wait_for(finished_with_the_connection)
                self.assertEqual(server.requests(), [], server.events())

    def test_close_on_accept(self):
        with ConfigServer("close-on-accept") as server:
            ping, _ = self.ping(server)
            self.assert_failure(ping, SSL_CONNECT_ERROR, 0,
                                f"The TLS handshake with {self.where(server)} failed")
            self.assertEqual(server.connections(), 1)

    def test_plain_http_server(self):
        with ConfigServer("plain-http") as server:
            ping, _ = self.ping(server)
            self.assert_failure(ping, SSL_CONNECT_ERROR, 0,
                                f"The TLS handshake with {self.where(server)} failed")
            received = server.wait_for(
                lambda s: [e for e in s.events() if e["kind"] == "plain-received"])
            self.assertTrue(received, server.events())
            self.assertNotIn(MISBEHAVING_TOKEN.decode(), received[0]["data"],
                             "the token went out in clear")


if __name__ == "__main__":
    unittest.main()
