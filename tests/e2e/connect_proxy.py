"""A minimal HTTP CONNECT proxy on 127.0.0.1 for the end-to-end tests, run in a thread of
the test itself. It tunnels to 127.0.0.1 only and counts the tunnels it opened; other
modes play a proxy that fails (see MODES)."""

import socket
import threading
import time

IO_TIMEOUT = 30.0  # seconds a tunnel may stay silent
HOLD_LIMIT = 120.0  # seconds a "silent" proxy keeps a connection at most

MODES = {
    "tunnel": "tunnel CONNECTs to 127.0.0.1, refuse others with 403",
    "credentials": "answer every CONNECT with 407 and two Proxy-Authenticate schemes",
    "forbidden": "answer every CONNECT with 403 Forbidden",
    "silent": "read the CONNECT and never answer",
    "close": "read the CONNECT and close the connection",
}
REFUSALS = {
    "credentials": b"HTTP/1.1 407 Proxy Authentication Required\r\n"
                   b"Proxy-Authenticate: Basic realm=\"corvane\"\r\n"
                   b"Proxy-Authenticate: Negotiate\r\nContent-Length: 0\r\n\r\n",
    "forbidden": b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n",
}


def _pipe(source, target):
    try:
        while data := source.recv(65536):
            target.sendall(data)
    except OSError:
        pass
    finally:
        for end in (source, target):
            try:
                end.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


class ConnectProxy:
    """Use as a context manager; .url is the proxy's address for https_proxy. mode: see
    MODES."""

    def __init__(self, mode="tunnel"):
        if mode not in MODES:
            raise ValueError(f"unknown proxy mode {mode!r}")
        self.mode = mode
        self.connects = 0  # CONNECT requests read
        self.tunnels = []  # the "host:port" of every CONNECT that was tunnelled
        self._listener = socket.create_server(("127.0.0.1", 0))
        self.port = self._listener.getsockname()[1]

    @property
    def url(self):
        return f"http://127.0.0.1:{self.port}"

    def __enter__(self):
        threading.Thread(target=self._accept, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self._listener.close()
        return False

    def _accept(self):
        while True:
            try:
                client, _ = self._listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(client,), daemon=True).start()

    def _serve(self, client):
        client.settimeout(IO_TIMEOUT)
        head = b""
        while b"\r\n\r\n" not in head and len(head) < 65536:
            chunk = client.recv(4096)
            if not chunk:
                client.close()
                return
            head += chunk
        target = head.split(b" ")[1].decode("latin-1") if head.startswith(b"CONNECT ") else ""
        self.connects += 1
        if self.mode in REFUSALS:
            client.sendall(REFUSALS[self.mode])
            client.close()
            return
        if self.mode == "silent":
            deadline = time.monotonic() + HOLD_LIMIT
            client.settimeout(1.0)
            while time.monotonic() < deadline:
                try:
                    if not client.recv(4096):
                        break
                except socket.timeout:
                    continue
                except OSError:
                    break
            client.close()
            return
        if self.mode == "close":
            client.close()
            return
        host, _, port = target.rpartition(":")
        if host != "127.0.0.1" or not port.isdigit():
            client.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
            client.close()
            return
        upstream = socket.create_connection((host, int(port)), timeout=IO_TIMEOUT)
        self.tunnels.append(target)
        client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        back = threading.Thread(target=_pipe, args=(upstream, client), daemon=True)
        back.start()
        _pipe(client, upstream)
        back.join(IO_TIMEOUT)
        upstream.close()
        client.close()
