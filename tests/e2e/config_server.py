#!/usr/bin/env python3
"""A small HTTPS configuration server for the end-to-end tests, bound to 127.0.0.1 only.

It listens on an ephemeral port, writes that port to --port-file once it accepts
connections, and answers every connection in its own daemon thread the way --mode says
(see MODES). It runs until it is killed.

--record names a file that gets one JSON object per line, written as events happen:
  {"kind": "connection"}                          a TCP connection was accepted
  {"kind": "handshake-failed", "error": "..."}    the TLS handshake did not complete
  {"kind": "incomplete-request", "received": N}   the peer stopped before the blank line
  {"kind": "request", "method": "GET", "path": "/x", "version": "HTTP/1.1",
   "headers": [["Name", "value"], ...], "body": "..."}
  {"kind": "body-sent", "bytes": N, "complete": true|false}
                                                  huge-body: how much of the body went out
                                                  before the end or the peer went away
  {"kind": "plain-received", "data": "..."}       plain-http: the first bytes that came
A request is recorded as soon as its head (and a Content-Length body) has been read,
before the mode answers it. Header and body bytes are decoded as Latin-1.
"""

import argparse
import email.utils
import http
import json
import os
import socket
import ssl
import sys
import threading
import time

HOST = "127.0.0.1"
IO_TIMEOUT = 30.0  # seconds a peer may stay silent while we read or write
HOLD_LIMIT = 600  # seconds a held connection ("hang", "stall-handshake") is kept at most
MAX_HEAD = 1024 * 1024  # request heads beyond this are not read
MAX_BODY = 1024 * 1024

MODES = {
    "status:N": "answer every request with status N (200 when bare 'status') and a short body",
    "hang": "complete TLS, read and record the request, never answer",
    "stall-handshake": "accept TCP, never start TLS",
    "close-mid-response": "send the status line and part of a header, then close",
    "huge-header": "answer with a header line of 1 MiB",
    "huge-body": "announce Content-Length 100 MiB and stream it",
    "trailer-flood": "answer 200 chunked, end the body, then stream trailers (200 MiB at most)",
    "not-http": "answer the request with bytes that are not HTTP",
    "drip": "send a valid response one byte every 0.5 s",
    "redirect": "302 to https://127.0.0.1:<port>/elsewhere; /elsewhere itself gets 200",
    "close-on-accept": "accept TCP and close it at once, before any TLS",
    "plain-http": "no TLS: read the first bytes that come, answer 400 in plain HTTP, close",
    "evil-reason": "answer 403 with a long reason phrase full of terminal escape sequences",
    "slow:S": "wait S seconds (a decimal number) after the request, then answer 200",
}
EVIL_REASON = (b"\x1b]0;owned\x07\x1b[2J\x1b[H\rCheck passed\x7f\xc2\x9b2J\x9b0m"
               + b"!" * 400)


class Recorder:
    def __init__(self, path):
        self._path = path
        self._lock = threading.Lock()

    def write(self, **event):
        if not self._path:
            return
        line = json.dumps(event) + "\n"
        with self._lock, open(self._path, "a", encoding="utf-8") as out:
            out.write(line)


def parse_mode(text):
    """Returns (name, argument): the status of "status" modes, the seconds of "slow"."""
    if text == "status":
        return "status", 200
    if text.startswith("status:"):
        status = int(text.split(":", 1)[1])
        if not 100 <= status <= 999:
            raise ValueError(f"status out of range: {status}")
        return "status", status
    if text.startswith("slow:"):
        return "slow", float(text.split(":", 1)[1])
    if text in MODES:
        return text, None
    raise ValueError(f"unknown mode {text!r}; modes: {', '.join(MODES)}")


DATE_OFFSET = 0.0  # seconds added to the Date header's time (--date-offset)


def response(status, body=b"", extra_headers=()):
    try:
        reason = http.HTTPStatus(status).phrase
    except ValueError:
        reason = "Status"
    date = email.utils.formatdate(time.time() + DATE_OFFSET, usegmt=True)
    head = [f"HTTP/1.1 {status} {reason}", f"Date: {date}", "Content-Type: text/plain"]
    head += list(extra_headers)
    head += [f"Content-Length: {len(body)}", "Connection: close", "", ""]
    return "\r\n".join(head).encode("latin-1") + body


def read_request(conn, recorder):
    """Reads one request head and its Content-Length body; records and returns it, or None."""
    data = b""
    while b"\r\n\r\n" not in data and len(data) < MAX_HEAD:
        chunk = conn.recv(65536)
        if not chunk:
            break
        data += chunk
    if b"\r\n\r\n" not in data:
        recorder.write(kind="incomplete-request", received=len(data))
        return None
    head, body = data.split(b"\r\n\r\n", 1)
    lines = head.decode("latin-1").split("\r\n")
    parts = lines[0].split(" ")
    method, path, version = (parts + ["", "", ""])[:3]
    headers = []
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers.append([name.strip(), value.strip()])
    length = next((v for n, v in headers if n.lower() == "content-length"), "0")
    wanted = min(int(length) if length.isdigit() else 0, MAX_BODY)
    while len(body) < wanted:
        chunk = conn.recv(65536)
        if not chunk:
            break
        body += chunk
    request = {"method": method, "path": path, "version": version, "headers": headers,
               "body": body.decode("latin-1")}
    recorder.write(kind="request", **request)
    return request


def hold(conn):
    """Keeps the connection open, reading and dropping what comes, until the peer closes."""
    conn.settimeout(1.0)
    deadline = time.monotonic() + HOLD_LIMIT
    while time.monotonic() < deadline:
        try:
            if not conn.recv(65536):
                return
        except (socket.timeout, ssl.SSLWantReadError):
            continue
        except OSError:
            return


def close_politely(conn):
    """Sends TLS close_notify when the peer lets us, then closes."""
    try:
        conn.settimeout(2.0)
        conn.unwrap().close()
    except (OSError, ValueError):
        pass
    conn.close()


def answer(conn, mode, status, port, recorder):
    request = read_request(conn, recorder)
    if request is None:
        return
    if mode == "status":
        body = b"" if request["method"] == "HEAD" else f"status {status}\n".encode()
        conn.sendall(response(status, body))
    elif mode == "hang":
        hold(conn)
        return
    elif mode == "close-mid-response":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/pl")
        conn.close()  # no close_notify: the response just stops
        return
    elif mode == "huge-header":
        conn.sendall(b"HTTP/1.1 200 OK\r\nX-Huge: " + b"h" * (1024 * 1024) + b"\r\n"
                     b"Content-Length: 0\r\nConnection: close\r\n\r\n")
    elif mode == "huge-body":
        size = 100 * 1024 * 1024
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                     b"Content-Length: %d\r\nConnection: close\r\n\r\n" % size)
        chunk = b"b" * 65536
        sent = 0
        try:
            while sent < size:
                conn.sendall(chunk)
                sent += len(chunk)
        finally:
            # Tells whether the client read the whole body or went away before the end.
            recorder.write(kind="body-sent", bytes=sent, complete=sent == size)
    elif mode == "trailer-flood":
        conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n"
                     b"\r\n3\r\nok\n\r\n0\r\n")
        trailers = b"".join(b"X-Trailer-%d: %s\r\n" % (n, b"t" * 1000) for n in range(64))
        sent = 0
        while sent < 200 * 1024 * 1024:  # until the client goes away
            conn.sendall(trailers)
            sent += len(trailers)
    elif mode == "not-http":
        conn.sendall(b"\x00\xff\xfeSSH-2.0 this is not HTTP at all\r\n\x1b[0m\r\n\r\n")
    elif mode == "drip":
        for byte in response(200, b"ok\n"):
            conn.sendall(bytes([byte]))
            time.sleep(0.5)
    elif mode == "evil-reason":
        conn.sendall(b"HTTP/1.1 403 " + EVIL_REASON + b"\r\nContent-Length: 0\r\n"
                     b"Connection: close\r\n\r\n")
    elif mode == "slow":
        time.sleep(status)
        conn.sendall(response(200, b"ok\n"))
    elif mode == "redirect":
        if request["path"] == "/elsewhere":
            conn.sendall(response(200, b"elsewhere\n"))
        else:
            location = f"Location: https://{HOST}:{port}/elsewhere"
            conn.sendall(response(302, b"", [location]))
    close_politely(conn)


def answer_plain(raw, recorder):
    """Plays a plain HTTP server: whatever arrives first (a TLS hello from a TLS client)
    is recorded and answered with 400."""
    data = raw.recv(65536)
    recorder.write(kind="plain-received", data=data.decode("latin-1"))
    raw.sendall(response(400, b"plain HTTP only\n"))


def serve_connection(raw, context, mode, status, port, recorder):
    recorder.write(kind="connection")
    raw.settimeout(IO_TIMEOUT)
    try:
        if mode == "stall-handshake":
            hold(raw)
            return
        if mode == "close-on-accept":
            return  # closed in finally, before a single byte
        if mode == "plain-http":
            answer_plain(raw, recorder)
            return
        conn = context.wrap_socket(raw, server_side=True, do_handshake_on_connect=False)
        try:
            conn.do_handshake()
        except (OSError, ssl.SSLError) as error:
            recorder.write(kind="handshake-failed", error=str(error))
            return
        answer(conn, mode, status, port, recorder)
    except OSError:
        pass  # the peer went away; nothing to answer
    finally:
        raw.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0],
                                     epilog="modes: " + "; ".join(f"{k}: {v}" for k, v in
                                                                  MODES.items()))
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--record")
    parser.add_argument("--mode", default="status:200")
    parser.add_argument("--date-offset", type=float, default=0.0,
                        help="seconds to add to the time in the Date header")
    args = parser.parse_args()
    global DATE_OFFSET
    DATE_OFFSET = args.date_offset
    try:
        mode, status = parse_mode(args.mode)
    except ValueError as error:
        parser.error(str(error))

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    # The server may have to play one with a weak certificate (a short RSA key, SHA-1).
    context.set_ciphers("DEFAULT:@SECLEVEL=0")
    context.load_cert_chain(args.cert, args.key)
    context.set_alpn_protocols(["http/1.1"])
    recorder = Recorder(args.record)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((HOST, 0))
    listener.listen(64)
    port = listener.getsockname()[1]

    # Written whole and renamed into place, so that a reader never sees half a number.
    partial = args.port_file + ".partial"
    with open(partial, "w", encoding="ascii") as out:
        out.write(f"{port}\n")
    os.replace(partial, args.port_file)

    while True:
        raw, _ = listener.accept()
        threading.Thread(target=serve_connection, args=(raw, context, mode, status, port, recorder),
                         daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
