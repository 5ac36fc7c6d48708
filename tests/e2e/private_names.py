"""Names for the end-to-end tests without touching the machine's name service: the program
runs in a mount namespace of its own (`unshare -m`, as root) in which /etc/hosts,
/etc/resolv.conf, /etc/nsswitch.conf and /etc/gai.conf are files of the test. The only
name servers it knows are sockets on 127.0.0.0/8: nothing leaves loopback. Under wine
the same holds: wine resolves through the host's C library, which reads the namespace's
files.

Also here: a listener that drops new connections (its accept queue is full, so the kernel
drops every SYN and the client's connect times out) and a name server that never answers.
"""

import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time

from harness import child_environment, command, from_text_mode, run_through_wine_starts

DEAD_RESOLVER = "127.0.77.53"  # reads every query and answers none
NO_RESOLVER = "127.0.77.54"  # nothing listens there: every query is refused at once
RESOLVER_OPTIONS = "options timeout:3 attempts:2"  # the system's resolver waits 6 s or more

# Inside the namespace: mount the test's files over the system's, then run the program.
_ENTER = ('for f in hosts resolv.conf nsswitch.conf gai.conf; do '
          'mount --bind "$0/$f" "/etc/$f" || exit 97; done; exec "$@"')
# glibc's address sorting puts 127.0.0.1 before other loopback addresses; a precedence for
# 127.0.0.2 (with the default table, which any precedence line replaces) puts it first.
_GAI_CONF = """precedence ::1/128 50
precedence ::/0 40
precedence 2002::/16 30
precedence ::/96 20
precedence ::ffff:0:0/96 10
precedence ::ffff:127.0.0.2/128 60
"""


def namespace_skip_reason():
    """Why private names cannot be had here, or None."""
    if not hasattr(os, "geteuid") or os.geteuid() != 0:
        return "a private mount namespace needs root (CI runs as root)"
    if not shutil.which("unshare"):
        return "the unshare command is missing (util-linux)"
    probe = subprocess.run(["unshare", "-m", "mount", "--bind", "/etc/hosts", "/etc/hosts"],
                           capture_output=True, timeout=30, check=False)
    if probe.returncode != 0:
        return ("a private mount namespace with bind mounts is not possible here: "
                f"{probe.stderr.decode(errors='replace').strip()}")
    return None


class PrivateNames:
    """A private /etc/hosts (names: {name: [address, ...]}, in that order) and a
    resolv.conf that names only nameserver. Use as a context manager; run() runs a
    program inside."""

    def __init__(self, names, nameserver=NO_RESOLVER):
        self.folder = tempfile.mkdtemp(prefix="corvane-e2e-names-")
        files = {
            "hosts": "127.0.0.1 localhost\n" + "".join(
                f"{address} {name}\n" for name, addresses in names.items()
                for address in addresses),
            "resolv.conf": f"nameserver {nameserver}\n{RESOLVER_OPTIONS}\n",
            "nsswitch.conf": "hosts: files dns\n",
            "gai.conf": _GAI_CONF,
        }
        for name, text in files.items():
            with open(os.path.join(self.folder, name), "w", encoding="ascii") as out:
                out.write(text)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        shutil.rmtree(self.folder, ignore_errors=True)
        return False

    def run(self, program, timeout=60, env=None):
        """Runs program in the namespace; returns (status, stdout, stderr, seconds). env=None
        gives our environment without proxy variables."""
        args = ["unshare", "-m", "sh", "-c", _ENTER, self.folder, *command(program)]
        started = time.monotonic()
        done = run_through_wine_starts(
            lambda: subprocess.run(args, env=child_environment() if env is None else env,
                                   stdin=subprocess.DEVNULL, capture_output=True,
                                   timeout=timeout, check=False), program)
        elapsed = time.monotonic() - started
        if done.returncode == 97:
            raise RuntimeError(f"cannot mount the private names: {done.stderr!r}")
        return (done.returncode, from_text_mode(done.stdout), from_text_mode(done.stderr),
                elapsed)


class DeadResolver:
    """A name server on DEAD_RESOLVER port 53 that reads queries and never answers."""

    def __init__(self):
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self._socket.bind((DEAD_RESOLVER, 53))
        self.queries = 0

    def __enter__(self):
        threading.Thread(target=self._read, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self._socket.close()
        return False

    def _read(self):
        while True:
            try:
                self._socket.recv(4096)
            except OSError:
                return
            self.queries += 1


class DroppingListener:
    """A TCP listener on address:port whose accept queue is full: the kernel drops every
    new SYN (net.ipv4.tcp_abort_on_overflow is 0 by default), so a connect there times
    out. Checks on entry that a connect really times out."""

    def __init__(self, address, port=0):
        self.address = address
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.bind((address, port))
        self._listener.listen(0)
        self.port = self._listener.getsockname()[1]
        self._fill = []

    def __enter__(self):
        try:
            for _ in range(2):  # backlog 0 queues one; the second waits half open
                filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                filler.setblocking(False)
                try:
                    filler.connect((self.address, self.port))
                except BlockingIOError:
                    pass
                self._fill.append(filler)
            time.sleep(0.1)
            with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
                probe.settimeout(0.5)
                try:
                    probe.connect((self.address, self.port))
                except socket.timeout:
                    return self
                except OSError as error:
                    raise RuntimeError(f"a connect to the full listener failed at once: {error}")
            raise RuntimeError("a connect to the full listener succeeded")
        except BaseException:
            self.__exit__(None, None, None)
            raise

    def __exit__(self, *exc):
        for filler in self._fill:
            filler.close()
        self._listener.close()
        return False
