"""A minimal HTTP CONNECT proxy on 127.0.0.1 for the end-to-end tests, run in a thread of
the test itself. It tunnels to 127.0.0.1 only and counts the tunnels it opened."""

import socket
import threading

IO_TIMEOUT = 30.0  # seconds a tunnel may stay silent


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
    """Use as a context manager; .url is the proxy's address for https_proxy."""

    def __init__(self):
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
