"""Shared fixtures and helpers of the end-to-end tests: a scratch agent installation, a
certificate and a local HTTPS configuration server; the program's exit statuses and
messages, the ping's codes, the tokens and timeouts the tests write; the writer of
install_config.txt, the report built and read back, and the base of the network suites.

Every test module takes its helpers from here and from the fixture modules
(config_server.py, connect_proxy.py, private_names.py, real_peers.py), never from another
test module: what two suites share is written once, here, and no suite changes under
another one's feet.

The tests run the installed program. CTest installs the build into
$CORVANE_INSTALL_ROOT first (bin/, config/logconfig.xml, log/); every test then works on
a private copy of that tree, so that it can write config/install_config.txt and read the
log without disturbing other tests running at the same time.

Set CORVANE_E2E_KEEP=1 to keep the scratch folders for a look after the run.

Windows: set CORVANE_E2E_WINE to the wine64 command and CORVANE_INSTALL_ROOT to a Windows
installation; every run is then `wine64 ROOT/bin/CorvanePing.exe`, and the tests say where
Windows differs (WINDOWS, not_under_wine). Make the prefix first and let it settle
(`wine64 wineboot --init`, then `wineserver -w`), then start a wineserver that stays
(`wineserver -p`) and the prefix's services in it (`wine64 wineboot`), as CTest does, each
with its output elsewhere: services that a run starts would otherwise hold its output
open, and each run would start them again.
"""

import base64
import hashlib
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

# The program's own messages, byte for byte.
NO_INSTALL_CONFIG = (b"Could not find the config/install_config.txt file - that is really not a "
                     b"good thing...\n")
NO_SERVER = (b"There is no ConfigurationServer specified; that is either a mistake or this "
             b"machine is in stand-alone mode.\n")
NO_TOKEN = (b"There is no ApplicationToken specified; that is either a mistake or this machine "
            b"is in stand-alone mode.\n")
USAGE = (b"Usage: CorvanePing [options]\n There are no actual options for the program; it "
         b"validates the current configuration (including logging levels, which may or may not "
         b"be helpful).\n")
REPORT_START = b"\n\nCorvane pinging with config/install_config.txt parameters:\n"


def unavailable(what):
    """The line of a run whose agent library could not bring up what (status 2)."""
    return (b"Could not bring up %s of the agent's common library; the agent's log says why.\n"
            % what)


NO_CONNECTION_FACTORY = unavailable(b"the ConnectionFactory service")

# The program's exit statuses as a POSIX parent sees them; -3, -2 and -1 arrive as 253, 254
# and 255 from a Windows run too.
REPORT_PRINTED = 0  # the ping was made and reported, whatever its outcome
MISSING_KEY = 1  # install_config.txt lacks ConfigurationServer or ApplicationToken
SERVICE_UNAVAILABLE = 2  # the agent's library could not bring up what the ping needs
UNEXPECTED_ERROR = 3  # an error escaped the run
COMMAND_LINE_STOP = 253  # -3: help, or an option the program does not know
NO_PARAMETERS = 254  # -2: install_config.txt missing, unreadable or without entries
CONSOLE_EVENT = 255  # -1: a console event (SIGINT, Ctrl+C, ...) ended the run

# The ping's error codes are libcurl's, written here once under libcurl's names (CURLE_...);
# the report shows them as "Last error code: 0x%08x". What the program reports with those
# that are not plain from the name:
OK = 0
UNSUPPORTED_PROTOCOL = 1  # a scheme the ping does not use, in ConfigurationServer or a proxy
URL_MALFORMAT = 3  # also a proxy variable that cannot be used as it is written
COULDNT_RESOLVE_PROXY = 5
COULDNT_RESOLVE_HOST = 6
COULDNT_CONNECT = 7
WEIRD_SERVER_REPLY = 8  # no complete HTTP answer
HTTP_RETURNED_ERROR = 22  # an answer other than 2xx
WRITE_ERROR = 23  # the pinned certificate file cannot be written
OUT_OF_MEMORY = 27  # a header too large, or more header and trailer lines than are read
OPERATION_TIMEDOUT = 28
SSL_CONNECT_ERROR = 35  # the TLS handshake failed
BAD_FUNCTION_ARGUMENT = 43  # an ApplicationToken with a control character: nothing is sent
RECV_ERROR = 56  # also a proxy that refuses or closes the tunnel
PEER_FAILED_VERIFICATION = 60  # a certificate not valid for the address, or not trusted
SSL_CACERT_BADFILE = 77  # config/ConfigurationServer.PEM cannot be used
SSL_PINNEDPUBKEYNOTMATCH = 90  # the server presents another key than the pinned one

# The application token the runs write into install_config.txt: the report shows it and
# the server receives it; the agent's log must never hold it.
TOKEN = b"e2e-Report-7f3a91c4d2b8Zq=="
# Two suites send tokens of their own; their bytes are part of what those tests send and
# expect, so they stay as they are.
MISBEHAVING_TOKEN = b"e2e-misbehaving-token-7c41b0"
HOSTILE_TOKEN = b"e2e-hostile-token-93d2aa"

CONNECT_TIMEOUT = 2  # seconds, ConfigurationServerConnectTimeout, where a test bounds it
TIMEOUT = 3  # seconds, ConfigurationServerTimeout: the whole ping, where a test bounds it
RUN_LIMIT = 60  # seconds after which a run is killed

CERTIFICATE_FILE = "config/ConfigurationServer.PEM"  # the pin, inside the installation
WINDOW = 4096  # the loader reads no further into install_config.txt

HERE = os.path.dirname(os.path.abspath(__file__))
WINE = os.environ.get("CORVANE_E2E_WINE") or None
# A line of wine's own diagnostics: "0123:err:channel:function ...".
WINE_DIAGNOSTIC = re.compile(rb"[0-9a-f]+:(err|fixme|warn|trace):")
WINDOWS = WINE is not None
PROGRAM = "CorvanePing.exe" if WINDOWS else "CorvanePing"
MODULE = "CommunicationAPI.dll" if WINDOWS else "libCommunicationAPI.so"
LOG_FILE = "CorvaneCommon.log"

# Variables that would send the program's HTTPS traffic through a proxy.
PROXY_VARIABLES = ("https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy",
                   "ALL_PROXY", "no_proxy", "NO_PROXY")


def install_root():
    """The installed tree that CTest prepared; fails loudly when it is not there."""
    root = os.environ.get("CORVANE_INSTALL_ROOT")
    if not root:
        raise RuntimeError("CORVANE_INSTALL_ROOT is not set; run the tests through ctest")
    if not os.path.isfile(os.path.join(root, "bin", PROGRAM)):
        raise RuntimeError(f"{root}/bin/{PROGRAM} is missing; was the e2e_install test run?")
    return root


def not_under_wine(reason):
    """Skips a test of the Windows installation, which runs under wine, for reason."""
    return unittest.skipIf(WINDOWS, f"not under wine: {reason}")


def child_environment(env=None):
    """A copy of env (default: ours) without proxy variables; under wine also without a
    display, and with wine's error channel alone on standard error (nothing else of wine's
    diagnostics): a normal run prints nothing there, and a run that wine itself fails says
    why (see run_through_wine_starts)."""
    env = dict(os.environ if env is None else env)
    for name in PROXY_VARIABLES:
        env.pop(name, None)
    if WINDOWS:
        env.pop("DISPLAY", None)
        env.setdefault("WINEDEBUG", "err+all,fixme-all")
        env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    return env


def fault_environment(fault, preload=False):
    """Our environment without proxy variables, for a run that fails as
    CORVANE_TEST_FAULT=fault makes the seams in seams/ fail; preload puts the preload
    seam in front of the program."""
    env = child_environment()
    env["CORVANE_TEST_FAULT"] = fault
    if preload:
        env["LD_PRELOAD"] = os.environ["CORVANE_FAULT_PRELOAD"]
    return env


def command(program, args=()):
    """The command line that runs program (under wine for Windows)."""
    return [WINE, program, *args] if WINDOWS else [program, *args]


def windows_path(path):
    """The path as a Windows program under wine sees it (drive Z: is the root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def from_text_mode(data):
    """A Windows console program's standard streams are in text mode: every line ends
    with CR LF. Checks that and returns the text with LF line ends, as on Linux."""
    if not WINDOWS:
        return data
    if data.count(b"\n") != data.count(b"\r\n"):
        raise AssertionError(f"a line does not end with CR LF: {data!r}")
    return data.replace(b"\r\n", b"\n")


def run_program(program, args=(), timeout=20, cwd=None, env=None):
    """Runs program with args; returns (status, stdout bytes, stderr bytes), both with LF
    line ends (see from_text_mode).

    env=None gives our environment without proxy variables; a dict is used as it is.
    The child is killed when timeout seconds pass (subprocess.TimeoutExpired is raised).
    """
    env = child_environment() if env is None else env

    def run():
        return subprocess.run(command(program, args), cwd=cwd, env=env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=timeout, check=False)

    done = run_through_wine_starts(run, program, args)
    return done.returncode, from_text_mode(done.stdout), from_text_mode(done.stderr)


def run_through_wine_starts(run, program, args=()):
    """Calls run() (a subprocess.run of program) and returns what it returned; under wine,
    a run that ended with status 1 before the program logged, with nothing on its standard
    output and nothing but wine's own diagnostics on standard error, is made once more."""
    log = os.path.join(os.path.dirname(os.path.dirname(program)), "log", LOG_FILE)
    log_before = _size(log)
    servers_before = _wineservers() if WINDOWS else []
    started = time.monotonic()
    done = run()
    took = time.monotonic() - started
    if WINDOWS and (done.returncode, done.stdout) == (1, b"") and \
            all(WINE_DIAGNOSTIC.match(line) for line in done.stderr.splitlines()) and \
            _size(log) == log_before:
        # Wine now and then ends a run with status 1 before the program has started its
        # log (docs/testing.md, "What runs under wine"); every path of the program that ends with
        # 1 prints its line first. That run is made once more, and said so here and in
        # the build's record of such runs, which CI prints, with wine's own words.
        note = f"wine ended a run of {program} {list(args)} with status 1 before it logged"
        said = done.stderr.decode("utf-8", "replace").strip() or "nothing"
        # Wine ends with 1, silently, when the wineserver it starts for itself dies: a
        # second server beside the suites' one would say the run missed that one.
        said += f" [after {took:.2f} s; wineservers before {servers_before}, after {_wineservers()}]"
        print(f"harness: {note}; running it again", file=sys.stderr)
        record = os.environ.get("CORVANE_E2E_RERUN_LOG")
        if record:
            with open(record, "a", encoding="utf-8") as out:
                out.write(f"{note}; wine said: {said}\n")
        done = run()
    return done


def _wineservers():
    """pid:folder of every running wineserver (it works in the folder of its socket)."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.path.basename(os.readlink(f"/proc/{pid}/exe")).startswith("wineserver"):
                found.append(f"{pid}:{os.readlink(f'/proc/{pid}/cwd')}")
        except OSError:
            pass
    return found


def _size(path):
    try:
        return os.path.getsize(path)
    except OSError:
        return -1


def _keep_scratch():
    return os.environ.get("CORVANE_E2E_KEEP") == "1"


class ScratchInstall:
    """A private copy of the installation in a fresh temporary folder.

    Layout: <folder>/agent/bin (program and libraries), <folder>/agent/config/logconfig.xml
    and an empty <folder>/agent/log. No install_config.txt until a test writes one.
    Use as a context manager; the folder is removed on exit.
    """

    def __init__(self, source=None):
        self.source = source or install_root()
        self.folder = None
        self.root = None

    def __enter__(self):
        self.folder = tempfile.mkdtemp(prefix="corvane-e2e-")
        self.root = os.path.join(self.folder, "agent")
        shutil.copytree(os.path.join(self.source, "bin"), self.bin, symlinks=True)
        os.makedirs(self.config)
        shutil.copy2(os.path.join(self.source, "config", "logconfig.xml"), self.config)
        os.makedirs(self.log_dir)  # empty: the log of the source tree is not copied
        return self

    def __exit__(self, *exc):
        if _keep_scratch():
            sys.stderr.write(f"kept scratch installation {self.root}\n")
        else:
            shutil.rmtree(self.folder, ignore_errors=True)
        return False

    @property
    def bin(self):
        return os.path.join(self.root, "bin")

    @property
    def config(self):
        return os.path.join(self.root, "config")

    @property
    def log_dir(self):
        return os.path.join(self.root, "log")

    @property
    def program(self):
        return os.path.join(self.bin, PROGRAM)

    @property
    def install_config(self):
        return os.path.join(self.config, "install_config.txt")

    @property
    def log_path(self):
        return os.path.join(self.log_dir, LOG_FILE)

    def path(self, relative):
        """The path of relative ("config/x", "bin") inside the installation."""
        return os.path.join(self.root, relative)

    def write_file(self, relative, data):
        """Writes bytes to relative inside the installation, creating folders on the way."""
        target = self.path(relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            out.write(data)
        return target

    def write_install_config(self, data):
        """Writes config/install_config.txt with exactly these bytes."""
        if not isinstance(data, bytes):
            raise TypeError("install_config.txt content must be bytes")
        return self.write_file("config/install_config.txt", data)

    def remove(self, relative):
        """Removes a file or folder inside the installation; a missing one is fine."""
        target = self.path(relative)
        if os.path.isdir(target) and not os.path.islink(target):
            shutil.rmtree(target)
        elif os.path.lexists(target):
            os.remove(target)

    def log_exists(self):
        return os.path.exists(self.log_path)

    def read_log(self):
        """The agent's log (log/CorvaneCommon.log) as bytes; b"" when there is none or
        it is no regular file (a FIFO would block the read)."""
        if not os.path.isfile(self.log_path):
            return b""
        try:
            with open(self.log_path, "rb") as log:
                return log.read()
        except FileNotFoundError:
            return b""

    def relocate(self, relative):
        """Moves the whole installation to <folder>/<relative> (parents are created) and
        returns the new root. Later calls use the new place."""
        target = os.path.join(self.folder, relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        os.rename(self.root, target)
        self.root = target
        return target

    def use_fault_module(self):
        """Puts the fault module (seams/fault_module.cpp) in place of CommunicationAPI."""
        shutil.copyfile(os.environ["CORVANE_FAULT_MODULE"], os.path.join(self.bin, MODULE))

    def run(self, args=(), timeout=20, cwd=None, env=None):
        """Runs bin/CorvanePing; returns (status, stdout bytes, stderr bytes).
        See run_program for env and timeout."""
        return run_program(self.program, args, timeout=timeout, cwd=cwd, env=env)


def make_certificate(folder, common_name="localhost", days=365,
                     subject_alt_name="IP:127.0.0.1,DNS:localhost", key="ec",
                     digest="sha256", validity=None):
    """Creates a self-signed certificate and its key in folder with the openssl command,
    naming subject_alt_name (by default 127.0.0.1 and localhost). key is "ec" (P-256) or
    "rsa:BITS"; digest signs it; validity, a pair of openssl dates ("20200101000000Z"),
    sets its dates instead of days. Returns (certificate path, key path), both PEM. Skips
    the calling test when there is no openssl command."""
    openssl = shutil.which("openssl")
    if not openssl:
        raise unittest.SkipTest("the openssl command is not installed")
    name = f"{common_name}-{key.replace(':', '')}-{digest}-{days}-{'-'.join(validity or ())}"
    cert = os.path.join(folder, f"{name}.crt.pem")
    key_file = os.path.join(folder, f"{name}.key.pem")
    new_key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1"] if key == "ec" \
        else ["-newkey", key]
    request = [openssl, "req", "-nodes", *new_key, f"-{digest}", "-subj", f"/CN={common_name}",
               "-addext", f"subjectAltName={subject_alt_name}", "-keyout", key_file]

    def run(args):
        subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, timeout=30, check=True, cwd=folder)

    if validity is None:
        run([*request, "-x509", "-days", str(days), "-out", cert])
        return cert, key_file
    # openssl req cannot date a certificate in the past: a throw-away CA database can.
    ca = os.path.join(folder, f"{name}.ca")
    os.makedirs(ca)
    open(os.path.join(ca, "index.txt"), "w").close()
    with open(os.path.join(ca, "serial"), "w") as serial:
        serial.write("01\n")
    with open(os.path.join(ca, "ca.cnf"), "w") as config:
        config.write(f"[ca]\ndefault_ca = c\n[c]\ndatabase = {ca}/index.txt\n"
                     f"serial = {ca}/serial\nnew_certs_dir = {ca}\ndefault_md = {digest}\n"
                     "policy = p\ncopy_extensions = copy\n[p]\ncommonName = supplied\n")
    run([*request, "-out", f"{ca}/request.pem"])
    run([openssl, "ca", "-batch", "-notext", "-config", f"{ca}/ca.cnf", "-selfsign", "-keyfile",
         key_file, "-in", f"{ca}/request.pem", "-startdate", validity[0], "-enddate",
         validity[1], "-out", cert])
    return cert, key_file


def key_pin(certificate):
    """The public-key pin of a PEM certificate file, "sha256//" and base64, as the agent's
    log writes it."""
    der = subprocess.run(["openssl", "x509", "-in", certificate, "-pubkey", "-noout"],
                         capture_output=True, timeout=30, check=True).stdout
    der = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "DER"], input=der,
                         capture_output=True, timeout=30, check=True).stdout
    return "sha256//" + base64.b64encode(hashlib.sha256(der).digest()).decode()


def header(request, name):
    """The first value of header name (any case) in a recorded request, or None."""
    return next((value for key, value in request["headers"] if key.lower() == name.lower()),
                None)


def unused_port(address="127.0.0.1"):
    """A TCP port of address on which nothing listens: bound once, then closed."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind((address, 0))
        return probe.getsockname()[1]


class ConfigServer:
    """tests/e2e/config_server.py on 127.0.0.1 and an ephemeral port, as a context manager.

    mode: see config_server.MODES ("status:N", "hang", "stall-handshake", ...).
    date_offset: seconds by which the server's Date header is off.
    cert, key: PEM paths to serve; by default a fresh self-signed certificate for
    127.0.0.1/localhost is made in the server's own temporary folder (see .cert).
    The process is always killed on exit.
    """

    START_TIMEOUT = 10.0  # seconds to wait for the port file

    def __init__(self, mode="status:200", cert=None, key=None, date_offset=0):
        self.mode = mode
        self.date_offset = date_offset
        self.cert = cert
        self.key = key
        self.folder = None
        self.port = None
        self._process = None
        self._stderr = None

    @property
    def address(self):
        return f"127.0.0.1:{self.port}"

    def url(self, path="/"):
        return f"https://{self.address}{path}"

    @property
    def record_path(self):
        return os.path.join(self.folder, "requests.jsonl")

    def __enter__(self):
        self.folder = tempfile.mkdtemp(prefix="corvane-e2e-server-")
        try:
            if self.cert is None:
                self.cert, self.key = make_certificate(self.folder)
            self._start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _start(self):
        port_file = os.path.join(self.folder, "port")
        self._stderr = open(os.path.join(self.folder, "server.log"), "wb")
        self._process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "config_server.py"), "--cert", self.cert,
             "--key", self.key, "--port-file", port_file, "--record", self.record_path,
             "--mode", self.mode, "--date-offset", str(self.date_offset)],
            stdin=subprocess.DEVNULL, stdout=self._stderr, stderr=self._stderr,
            env=child_environment())
        deadline = time.monotonic() + self.START_TIMEOUT
        while time.monotonic() < deadline:
            if os.path.exists(port_file):
                with open(port_file, encoding="ascii") as text:
                    self.port = int(text.read())
                return
            if self._process.poll() is not None:
                break
            time.sleep(0.02)
        raise RuntimeError(f"the configuration server did not start ({self.mode}): "
                           f"{self.server_log()!r}")

    def __exit__(self, *exc):
        if self._process is not None:
            self._process.kill()
            self._process.wait(timeout=10)
        if self._stderr is not None:
            self._stderr.close()
        if _keep_scratch():
            sys.stderr.write(f"kept server folder {self.folder}\n")
        elif self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)
        return False

    def events(self):
        """Everything recorded so far, one dict per event (see config_server.py)."""
        try:
            with open(self.record_path, encoding="utf-8") as record:
                lines = record.read().splitlines()
        except FileNotFoundError:
            return []
        # The last line may still be being written.
        events = []
        for line in lines:
            try:
                events.append(json.loads(line))
            except json.JSONDecodeError:
                pass
        return events

    def requests(self):
        """The HTTP requests recorded so far: dicts with method, path, version,
        headers ([[name, value], ...]) and body."""
        return [event for event in self.events() if event["kind"] == "request"]

    def connections(self):
        """How many TCP connections were accepted so far."""
        return sum(1 for event in self.events() if event["kind"] == "connection")

    def paths(self):
        return [request["path"] for request in self.requests()]

    def server_log(self):
        """What the server process wrote (its errors), for failure messages."""
        try:
            with open(os.path.join(self.folder, "server.log"), "rb") as log:
                return log.read().decode("utf-8", "replace")
        except (FileNotFoundError, TypeError):
            return ""

    def wait_for(self, predicate, timeout=10.0):
        """Polls predicate(self) until it is true or timeout passes; returns its last value.
        For events that reach the record after the client has gone (e.g. after a kill)."""
        deadline = time.monotonic() + timeout
        while True:
            value = predicate(self)
            if value or time.monotonic() >= deadline:
                return value
            time.sleep(0.05)


# install_config.txt, and the report that a run prints.


def install_config(server, token=TOKEN, extra=b"", timeout=None, connect_timeout=None):
    """install_config.txt naming server (text or bytes) and token; then
    ConfigurationServerTimeout and ConfigurationServerConnectTimeout (seconds), each when
    given; then the extra lines (bytes)."""
    if isinstance(server, str):
        server = server.encode()
    content = b"ConfigurationServer=%s\nApplicationToken=%s\n" % (server, token)
    if timeout is not None:
        content += b"ConfigurationServerTimeout=%d\n" % timeout
    if connect_timeout is not None:
        content += b"ConfigurationServerConnectTimeout=%d\n" % connect_timeout
    return content + extra


def parameter_lines(server, token=TOKEN, extra=()):
    """The report's parameter block for install_config(): entries in key order."""
    entries = sorted([(b"ApplicationToken", token), (b"ConfigurationServer", server), *extra])
    return b"".join(b"%s = %s\n" % entry for entry in entries)


def report(parameters, before, after, response, error, message=b""):
    """The whole report, byte for byte."""
    words = {False: b"false", True: b"true"}
    return (REPORT_START + parameters +
            b"\nCertificate file config/ConfigurationServer.PEM existence: Before pinging: %s "
            b"After pinging: %s\n" % (words[before], words[after]) +
            b"Last response code: 0x%08x\nLast error code: 0x%08x\nLast error message: %s\n"
            % (response, error, message))


def report_message(test, out, parameters, before, after, response, error):
    """Checks every byte of the report before the message and that the message is one
    line; returns the message as text."""
    head = report(parameters, before, after, response, error)[:-1]
    test.assertTrue(out.startswith(head), f"expected a report starting\n{head!r}\ngot\n{out!r}")
    message = out[len(head):]
    test.assertTrue(message.endswith(b"\n") and b"\n" not in message[:-1],
                    f"the message is not one line: {message!r}")
    return message[:-1].decode("utf-8", "replace")


# The report after its parameter lines, from the line end of the blank line on: what a test
# reads back when it does not know every byte before the message.
REPORT_TAIL = re.compile(
    rb"\nCertificate file config/ConfigurationServer\.PEM existence: "
    rb"Before pinging: (true|false) After pinging: (true|false)\n"
    rb"Last response code: 0x([0-9a-f]{8})\n"
    rb"Last error code: 0x([0-9a-f]{8})\n"
    rb"Last error message: ([^\n]*)\n\Z")


class Ping:
    """What one run printed, read back from the report."""

    def __init__(self, out, elapsed):
        match = REPORT_TAIL.search(out)
        if not match:
            raise AssertionError(f"no complete report in {out!r}")
        self.before = match[1] == b"true"
        self.after = match[2] == b"true"
        self.response = int(match[3], 16)
        self.error = int(match[4], 16)
        self.message = match[5].decode("latin-1")
        self.elapsed = elapsed

    def __repr__(self):
        return (f"Ping(error={self.error}, response={self.response}, message={self.message!r}, "
                f"before={self.before}, after={self.after}, elapsed={self.elapsed:.1f}s)")


# Checks after a run.


def leftovers(scratch):
    """Temporary files of the certificate writer left in config/."""
    return [name for name in os.listdir(scratch.config)
            if name.startswith("ConfigurationServer.PEM.")]


def nothing_arrived(server, wait=0.5):
    """True when the server accepted no connection (waits a little for late events)."""
    return not server.wait_for(lambda s: s.connections() > 0, timeout=wait)


# The connection's lines in the agent's log.
LOG_LINE = re.compile(rb"\[Ardentis\.Connection\] (.*?)\r?$", re.MULTILINE)


def log_lines(scratch):
    """The connection's log lines, as text without their prefix."""
    return [line.decode("utf-8", "replace") for line in LOG_LINE.findall(scratch.read_log())]


# The base of the suites that ping through real network failures (test_real_networks.py,
# test_real_peers.py).

# The product's bound is the timeout plus one second; this much more is allowed for start-up
# under sanitizers and wine. The measured times are printed.
SLACK = 3.0


def direct(env=None):
    """A runner for NetworkTestCase.ping(): the program as installed, in our environment
    or env."""
    def run(scratch):
        started = time.monotonic()
        status, out, err = scratch.run(timeout=60, env=env)
        return status, out, err, time.monotonic() - started
    return run


class NetworkTestCase(unittest.TestCase):
    """A scratch folder per test (self.folder), a ping that checks what every run must
    give, and a check of the connection's log lines."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="corvane-e2e-networks-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)

    def ping(self, scratch, server, run, connect_timeout=CONNECT_TIMEOUT, timeout=TIMEOUT,
             bound=None, case=None):
        """Writes install_config.txt for server ("host:port"), removes the pin, runs the
        program with run(scratch) -> (status, out, err, seconds) and checks what every run
        must give; bound: the seconds the run must end within (plus SLACK), and the time is
        printed under the name case. Returns the
        Ping and the connection's log lines."""
        scratch.remove(CERTIFICATE_FILE)
        scratch.write_install_config(install_config(server, timeout=timeout,
                                                    connect_timeout=connect_timeout))
        status, out, err, elapsed = run(scratch)
        self.assertEqual((status, err), (REPORT_PRINTED, b""), out)
        ping = Ping(out, elapsed)
        log = scratch.read_log()
        self.assertNotIn(TOKEN, log, "the token reached the log")
        if bound is not None:
            print(f"\n  measured: {case or server}: {elapsed:.2f} s (bound {bound} s + 1 s)",
                  end="")
            self.assertLess(elapsed, bound + 1 + SLACK, f"the run outlasted its bound: {ping}")
        return ping, log_lines(scratch)

    def assert_logged(self, lines, pattern):
        self.assertTrue(any(re.fullmatch(pattern, line) for line in lines),
                        f"no log line matching {pattern!r} in:\n" + "\n".join(lines))
