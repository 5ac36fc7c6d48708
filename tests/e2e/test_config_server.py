"""The test configuration server answers each mode as the other tests expect. A Python
client stands in for the program, so that a fault in the server shows here and not as a
puzzling result elsewhere."""

import http.client
import socket
import ssl
import unittest

from harness import ConfigServer, header

REQUEST = b"GET /ping HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Probe: one\r\n\r\n"


def client_context(server):
    context = ssl.create_default_context(cafile=server.cert)
    context.set_alpn_protocols(["http/1.1"])
    return context


def tls_connect(server, timeout=5.0):
    raw = socket.create_connection(("127.0.0.1", server.port), timeout=timeout)
    return client_context(server).wrap_socket(raw, server_hostname="127.0.0.1")


def exchange(server, limit=4096, timeout=5.0):
    """Sends REQUEST and reads until the server closes or limit bytes have come."""
    with tls_connect(server, timeout) as conn:
        conn.sendall(REQUEST)
        data = b""
        try:
            while len(data) < limit:
                chunk = conn.recv(limit - len(data))
                if not chunk:
                    break
                data += chunk
        except ssl.SSLEOFError:
            pass  # closed without close_notify
        return data


def get(server, path, timeout=5.0):
    conn = http.client.HTTPSConnection("127.0.0.1", server.port, timeout=timeout,
                                       context=client_context(server))
    try:
        conn.request("GET", path, headers={"X-Probe": "one"})
        answer = conn.getresponse()
        return answer.status, dict(answer.getheaders()), answer.read()
    finally:
        conn.close()


class AnswersTest(unittest.TestCase):
    def test_status_and_record(self):
        for mode, status in (("status:200", 200), ("status:503", 503), ("status", 200)):
            with self.subTest(mode), ConfigServer(mode) as server:
                self.assertEqual(server.address, f"127.0.0.1:{server.port}")
                code, _, body = get(server, "/ping?x=1")
                self.assertEqual((code, body), (status, f"status {status}\n".encode()))
                [request] = server.requests()
                self.assertEqual((request["method"], request["path"]), ("GET", "/ping?x=1"))
                self.assertEqual(header(request, "x-probe"), "one")
                self.assertEqual(server.connections(), 1)

    def test_redirect(self):
        with ConfigServer("redirect") as server:
            code, headers, _ = get(server, "/")
            self.assertEqual((code, headers["Location"]), (302, server.url("/elsewhere")))
            self.assertEqual(server.paths(), ["/"])
            self.assertEqual(get(server, "/elsewhere")[0], 200)
            self.assertEqual(server.paths(), ["/", "/elsewhere"])

    def test_broken_answers(self):
        cases = {
            "close-mid-response": lambda data: data == b"HTTP/1.1 200 OK\r\nContent-Type: text/pl",
            "huge-header": lambda data: data.startswith(b"HTTP/1.1 200 OK\r\nX-Huge: hhhh"),
            "huge-body": lambda data: b"\r\nContent-Length: 104857600\r\n" in data,
            "not-http": lambda data: data and not data.startswith(b"HTTP/"),
        }
        for mode, check in cases.items():
            with self.subTest(mode), ConfigServer(mode) as server:
                data = exchange(server)
                self.assertTrue(check(data), data[:200])
                self.assertEqual(server.paths(), ["/ping"])

    def test_huge_body_records_how_much_went_out(self):
        # A client that stops reading early leaves an incomplete count behind.
        with ConfigServer("huge-body") as server:
            exchange(server, limit=200 * 1024)
            sent = server.wait_for(
                lambda s: [e for e in s.events() if e["kind"] == "body-sent"])
            self.assertTrue(sent, server.events())
            self.assertFalse(sent[0]["complete"])
            self.assertLess(sent[0]["bytes"], 100 * 1024 * 1024)

    def test_drip(self):
        with ConfigServer("drip") as server, tls_connect(server) as conn:
            conn.sendall(REQUEST)
            pieces = [conn.recv(100) for _ in range(4)]
            self.assertEqual(pieces, [b"H", b"T", b"T", b"P"])


class SilenceTest(unittest.TestCase):
    def test_hang_reads_the_request_and_never_answers(self):
        with ConfigServer("hang") as server, tls_connect(server, timeout=1.0) as conn:
            conn.sendall(REQUEST)
            with self.assertRaises(TimeoutError):
                conn.recv(1)
            self.assertEqual(server.paths(), ["/ping"])

    def test_stall_handshake(self):
        with ConfigServer("stall-handshake") as server:
            with self.assertRaises(TimeoutError):
                tls_connect(server, timeout=1.0)
            self.assertEqual(server.connections(), 1)
            self.assertEqual(server.requests(), [])

    def test_close_on_accept(self):
        with ConfigServer("close-on-accept") as server:
            with self.assertRaises(OSError):  # ssl.SSLError is one
                tls_connect(server).close()
            self.assertEqual(server.connections(), 1)
            self.assertEqual(server.requests(), [])

    def test_plain_http(self):
        with ConfigServer("plain-http") as server:
            with socket.create_connection(("127.0.0.1", server.port), timeout=5.0) as raw:
                raw.sendall(REQUEST)
                data = b""
                while len(data) < 4096:
                    chunk = raw.recv(4096)
                    if not chunk:
                        break
                    data += chunk
            self.assertTrue(data.startswith(b"HTTP/1.1 400 Bad Request\r\n"), data)
            received = server.wait_for(
                lambda s: [e for e in s.events() if e["kind"] == "plain-received"])
            self.assertEqual([e["data"] for e in received], [REQUEST.decode("latin-1")])
            self.assertEqual(server.requests(), [])

    def test_untrusted_client_handshake_is_recorded(self):
        with ConfigServer() as server:
            raw = socket.create_connection(("127.0.0.1", server.port), timeout=5.0)
            with self.assertRaises(ssl.SSLCertVerificationError):
                ssl.create_default_context(cafile=None).wrap_socket(
                    raw, server_hostname="127.0.0.1")
            raw.close()
            failed = server.wait_for(
                lambda s: [e for e in s.events() if e["kind"] == "handshake-failed"])
            self.assertTrue(failed, server.events())

    def test_unknown_mode_does_not_start(self):
        with self.assertRaises(RuntimeError):
            with ConfigServer("teapot"):
                pass


if __name__ == "__main__":
    unittest.main()
