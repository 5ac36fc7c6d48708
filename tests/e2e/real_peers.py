"""Real daemons from the distribution's packages as peers of the end-to-end tests: squid,
nginx, apache2, haproxy and dnsmasq, each with a configuration written into a scratch
folder of its own, listening on 127.0.0.x only, on ports chosen here. Each is a context
manager that starts the daemon as a child in the foreground, waits (at most
START_TIMEOUT) until every port accepts, and stops it and its helpers by PID on exit
(terminate, bounded wait, kill), also when the start fails. Everything the daemon writes
goes to files in its folder; .log() returns them for failure messages. Set
CORVANE_E2E_KEEP=1 to keep the folders. Daemons that insist on a user (squid; nginx's and
apache's workers) run as `nobody`, which then owns the folder.

One daemon serves several cases: modes (default: all of MODES) gives each mode a port of
its own. .port, .address ("127.0.0.1:PORT") and .url are those of the first mode;
.ports[mode], address_of(mode) and url_of(mode) those of any. What each gives was
measured with curl 7.88, the program's libcurl, and is written below.

Squid(modes, resolver=NO_RESOLVER, hosts=None), squid 5.7, .url "http://127.0.0.1:PORT/";
CONNECT to any port, to loopback only (anything else: 403 ERR_ACCESS_DENIED):
  open   no credentials
  basic  Basic only, USER / PASSWORD; proxy_url(mode, user, password) writes them in
  ntlm   NTLM only (ntlm_fake_auth takes any NTLM exchange): the 407 says
         "Proxy-Authenticate: NTLM" alone, Basic credentials get the 407 again
  bump   TLS inspection, client-first: the certificate, issued by .ca_cert ("CN=Corvane
         Test Inspection CA"), has CN=<CONNECT host> and no subjectAltName, so even a
         client that trusts .ca_cert fails on the name (curl 60)
  mimic  TLS inspection that copies the server's names: trusting .ca_cert, it verifies
  tls    an https:// proxy (https_port) with a self-signed certificate for 127.0.0.1
  One squid serves both auth ports: auth_schemes chooses what each 407 offers, and the
  user name (NTLM gives DOMAIN\\user) keeps each port to its scheme.
  Measured: a port where nothing listens: 503, "X-Squid-Error: ERR_CONNECT_FAIL 111", at
  once (through bump: 200 to the CONNECT, then the 503 inside TLS). A name that does
  not resolve is NOT ERR_DNS_FAIL in squid 5.7: "500 Internal Server Error",
  "X-Squid-Error: ERR_CANNOT_FORWARD 0", at once when the resolver says NXDOMAIN or
  REFUSED (resolver=Dnsmasq().address), after 6 s when it is silent (the default:
  dns_timeout 2 s, tried thrice). hosts: names squid resolves itself (squid's own hosts
  file, not /etc/hosts). curl with --proxy https:// to it: "(35) ... wrong version
  number".

Nginx(modes, cert=None, key=None), nginx 1.22, .cert/.key default to make_certificate's:
  good     200 "ok" for any path ending in /ping
  tls11    TLS 1.1 only, SECLEVEL=0; a TLS 1.2+ client gets "(35) ... tlsv1 alert
           protocol version"; curl's defaults get further and fail on "legacy sigalg
           disallowed or unsupported"; only a client at SECLEVEL=0 gets its 200
  trickle  200, Content-Length TRICKLE_BYTES: the head and a few bytes at once, then a
           byte a second ("(28) Operation timed out after 3001 milliseconds with 64 out
           of 300 bytes received" with a 3 s limit)
  busy     "503 Service Temporarily Unavailable"

Apache(modes, cert=None, key=None), apache2 2.4 with mod_ssl; client certificates are
checked against .cert (so .cert/.key also serve as a good client certificate):
  require  SSLVerifyClient require. Without a certificate: TLS 1.3 "(56) OpenSSL
           SSL_read: ... tlsv13 alert certificate required" after the request is sent;
           TLS 1.2 "(35) ... sslv3 alert handshake failure" in the handshake; an
           untrusted one: "(56) ... tlsv1 alert unknown ca"
  reneg    TLS 1.2 only; a client certificate under /needs-cert only (server
           "127.0.0.1:PORT/needs-cert"): after the request it renegotiates (Hello
           request) and fails with "(56) OpenSSL SSL_read: ... sslv3 alert handshake
           failure"; /ping there is a plain 200
  good     200 for /ping

Haproxy(modes, cert=None, key=None), haproxy 2.6, answers 200 "ok" itself; .cert names
DNS:config.corvane.test only:
  strict   strict-sni: by IP address (no SNI) or another name: "(35) ... tlsv1
           unrecognized name" (alert 112) in the handshake; by config.corvane.test: 200
  plain    the certificate to anyone (by IP address, verified: curl 60, no name matches)

Dnsmasq(address=None, names=None), dnsmasq 2.90 on port 53 of .address (the first free
one of 127.0.78.53 and on); the program uses it inside
private_names.PrivateNames(hosts, nameserver=dns.address) (timeout:3 attempts:2).
Measured with socket.getaddrinfo there:
  config.corvane.test, .names  127.0.0.1 (AAAA: no data), at once
  other names in corvane.test  NXDOMAIN: EAI_NONAME (-2), at once; curl "(6) Could not
                               resolve host"
  *.dead.corvane.test          forwarded to 127.0.0.9#5399 where nothing listens: dnsmasq
                               answers nothing (no SERVFAIL within 60 s): EAI_AGAIN (-3)
                               after 6 s, the resolver's 3 s times 2 attempts; curl with
                               a 2 s connect timeout: "(28) Resolving timed out after
                               2000 milliseconds"
  *.silent.corvane.test        forwarded to a UDP socket of the fixture that never
                               answers: the same as dead, EAI_AGAIN after 6 s
  anything else                REFUSED (no upstream): EAI_AGAIN (-3) at once; curl "(6)
                               Could not resolve host"
"""

import ipaddress
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
from urllib.parse import quote

from harness import child_environment, make_certificate, unused_port
from private_names import NO_RESOLVER

START_TIMEOUT = 15.0  # seconds until every port of a daemon accepts
STOP_TIMEOUT = 10.0  # seconds a daemon gets to end after SIGTERM before it is killed
USER = "alice"
PASSWORD = "S3cret-Pw!"
TRICKLE_BYTES = 300
TRICKLE_HEAD = 300  # bytes of the answer (its head and the start of the body) sent at once
RUN_AS = "nobody"  # the user that squid, nginx's and apache's workers run as


def _accepts(port, address="127.0.0.1"):
    try:
        with socket.create_connection((address, port), timeout=0.5):
            return True
    except OSError:
        return False


def _write(path, text, mode=0o644):
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)
    os.chmod(path, mode)
    return path


def _keep_scratch():
    return os.environ.get("CORVANE_E2E_KEEP") == "1"


def _start_time(pid):
    """The start time of process pid (it tells a process from a later one with its PID),
    or None when it is gone or a zombie."""
    try:
        with open(f"/proc/{pid}/stat", encoding="ascii", errors="replace") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return None if fields[0] in "ZX" else fields[19]


def _descendants(pid):
    """[(pid, start time)] of every living descendant of pid."""
    found, todo = [], [pid]
    while todo:
        parent = todo.pop()
        try:
            tasks = os.listdir(f"/proc/{parent}/task")
        except OSError:
            continue
        for task in tasks:
            try:
                with open(f"/proc/{parent}/task/{task}/children", encoding="ascii") as text:
                    children = [int(child) for child in text.read().split()]
            except OSError:
                continue
            for child in children:
                started = _start_time(child)
                if started is not None:
                    found.append((child, started))
                    todo.append(child)
    return found


def _alive(member):
    pid, started = member
    return _start_time(pid) == started


class _Daemon:
    """Start, wait, stop and log of one daemon; subclasses give NAME, MODES, BINARY,
    _configure() (writes the files, returns the command line) and, if it is not TCP on
    127.0.0.1, _ready()."""

    NAME = ""
    BINARY = ""
    MODES = {}
    SCHEME = "https"

    def __init__(self, modes=None):
        self.modes = tuple(self.MODES if modes is None else modes)
        unknown = [mode for mode in self.modes if mode not in self.MODES]
        if unknown or not self.modes:
            raise ValueError(f"{self.NAME}: unknown modes {unknown} (known: {list(self.MODES)})")
        self.folder = None
        self.ports = {}
        self._process = None
        self._output = None

    # Addresses.
    @property
    def port(self):
        return self.ports[self.modes[0]]

    @property
    def address(self):
        return self.address_of(self.modes[0])

    @property
    def url(self):
        return self.url_of(self.modes[0])

    def address_of(self, mode):
        return f"127.0.0.1:{self.ports[mode]}"

    def url_of(self, mode):
        return f"{self.SCHEME}://{self.address_of(mode)}/"

    @property
    def pid(self):
        return self._process.pid if self._process else None

    def path(self, name):
        return os.path.join(self.folder, name)

    # Life.
    def __enter__(self):
        if not os.access(self.BINARY, os.X_OK):
            raise RuntimeError(f"{self.BINARY} is not installed")
        self.folder = tempfile.mkdtemp(prefix=f"corvane-e2e-{self.NAME}-")
        try:
            self.ports = {mode: unused_port() for mode in self.modes}
            args = self._configure()
            self._output = open(self.path("output.log"), "wb")
            self._process = subprocess.Popen(
                args, cwd=self.folder, env=child_environment(), stdin=subprocess.DEVNULL,
                stdout=self._output, stderr=subprocess.STDOUT)
            self._wait_until_ready()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _wait_until_ready(self):
        deadline = time.monotonic() + START_TIMEOUT
        while time.monotonic() < deadline:
            if self._process.poll() is not None:
                raise RuntimeError(f"{self.NAME} ended with status {self._process.returncode} "
                                   f"while starting:\n{self.log()}")
            if self._ready():
                return
            time.sleep(0.05)
        raise RuntimeError(f"{self.NAME} did not get ready within {START_TIMEOUT} s:\n"
                           f"{self.log()}")

    def _ready(self):
        return all(_accepts(port) for port in self.ports.values())

    def __exit__(self, *exc):
        if self._process is not None:
            # Helpers and workers outlive their parent by a moment: they are waited for
            # too, so that nothing of the daemon is left when the test goes on.
            family = _descendants(self._process.pid)
            if self._process.poll() is None:
                self._process.terminate()
                try:
                    self._process.wait(STOP_TIMEOUT)
                except subprocess.TimeoutExpired:
                    self._process.kill()
                    self._process.wait(STOP_TIMEOUT)
            deadline = time.monotonic() + STOP_TIMEOUT
            while family and time.monotonic() < deadline:
                family = [member for member in family if _alive(member)]
                time.sleep(0.05)
            for pid, _ in family:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            self._process = None
        if self._output is not None:
            self._output.close()
            self._output = None
        if self.folder:
            if _keep_scratch():
                sys.stderr.write(f"kept {self.NAME} folder {self.folder}\n")
            else:
                shutil.rmtree(self.folder, ignore_errors=True)
        return False

    def log(self):
        """Every *.log file of the folder, each under its name."""
        parts = []
        for name in sorted(os.listdir(self.folder)) if self.folder else ():
            if name.endswith(".log"):
                with open(self.path(name), "rb") as text:
                    parts.append(f"--- {name}\n{text.read().decode('utf-8', 'replace')}")
        return "\n".join(parts)

    def _hand_to(self, user):
        """Gives the folder to user, which the daemon (or its workers) runs as."""
        entry = pwd.getpwnam(user)
        for root, folders, files in os.walk(self.folder):
            for name in [root, *(os.path.join(root, item) for item in folders + files)]:
                os.chown(name, entry.pw_uid, entry.pw_gid)
        os.chmod(self.folder, 0o755)


def _outside_loopback():
    """Every address but 127.0.0.0/8 and ::1, as networks, for squid's dst acl. Squid
    keeps IPv4 addresses as IPv4-mapped IPv6 ones: those are left to the IPv4 list."""
    def exclude(networks, hole):
        hole = ipaddress.ip_network(hole)
        return [part for network in networks
                for part in (network.address_exclude(hole) if hole.subnet_of(network)
                             else [network])]
    networks = exclude([ipaddress.ip_network("0.0.0.0/0")], "127.0.0.0/8")
    networks += exclude(exclude([ipaddress.ip_network("::/0")], "::1/128"), "::ffff:0:0/96")
    return [str(network) for network in networks]


class Squid(_Daemon):
    """See the module's docstring. resolver: the name server's address (one
    Dnsmasq.address, say); hosts: {name: address} for squid's own hosts file."""

    NAME = "squid"
    BINARY = "/usr/sbin/squid"
    SCHEME = "http"
    MODES = {"open": "no credentials", "basic": "Basic only", "ntlm": "NTLM only",
             "bump": "TLS inspection", "mimic": "TLS inspection that copies the server's names",
             "tls": "an https:// proxy with a self-signed certificate"}
    HELPERS = "/usr/lib/squid"

    def __init__(self, modes=None, resolver=NO_RESOLVER, hosts=None):
        super().__init__(modes)
        self.resolver = resolver
        self.hosts = dict(hosts or {})
        self.ca_cert = self.ca_key = None

    def proxy_url(self, mode, user=None, password=None):
        """The proxy's URL for a proxy variable, with user and password if given."""
        if user is None:
            return self.url_of(mode)
        return f"http://{quote(user, safe='')}:{quote(password or '', safe='')}@" \
               f"{self.address_of(mode)}/"

    def _configure(self):
        folder = self.folder
        hosts = _write(self.path("hosts"), "".join(f"{address} {name}\n"
                                                   for name, address in self.hosts.items()))
        lines = [
            # A squid that minds nothing but its ports: no disk cache, no other sockets.
            f"pid_filename {folder}/squid.pid",
            f"cache_log {folder}/cache.log",
            f"access_log stdio:{folder}/access.log",
            "cache_store_log none",
            "logfile_rotate 0",
            f"coredump_dir {folder}",
            "netdb_filename none",
            "cache deny all",
            "cache_mem 8 MB",
            f"cache_effective_user {RUN_AS}",
            "shutdown_lifetime 0 seconds",
            "pinger_enable off",
            "icp_port 0",
            "htcp_port 0",
            "udp_incoming_address 127.0.0.1",
            "udp_outgoing_address 127.0.0.1",
            "tcp_outgoing_address 127.0.0.1",
            "connect_timeout 10 seconds",
            "forward_max_tries 1",
            f"dns_nameservers {self.resolver}",
            "dns_timeout 2 seconds",
            "negative_dns_ttl 1 seconds",
            f"hosts_file {hosts}",
            "visible_hostname corvane-test-proxy",  # not the machine's name
            "via off",
            "forwarded_for delete",
        ]
        inspecting = [mode for mode in self.modes if mode in ("bump", "mimic")]
        if inspecting:
            # Its file names hold the CN's spaces, which squid.conf cannot quote.
            made = make_certificate(folder, "Corvane Test Inspection CA", key="rsa:2048",
                                    subject_alt_name="DNS:inspection.corvane.test")
            self.ca_cert, self.ca_key = self.path("ca.crt.pem"), self.path("ca.key.pem")
            os.rename(made[0], self.ca_cert)
            os.rename(made[1], self.ca_key)
        for mode in self.modes:
            bump = (" ssl-bump generate-host-certificates=on dynamic_cert_mem_cache_size=4MB "
                    f"tls-cert={self.ca_cert} tls-key={self.ca_key}") if mode in inspecting else ""
            if mode == "tls":
                cert, key = make_certificate(folder, "127.0.0.1")
                lines.append(f"https_port 127.0.0.1:{self.ports[mode]} name={mode} "
                             f"tls-cert={cert} tls-key={key}")
            else:
                lines.append(f"http_port 127.0.0.1:{self.ports[mode]} name={mode}{bump}")
            lines.append(f"acl port_{mode} myportname {mode}")
        if inspecting:
            subprocess.run([f"{self.HELPERS}/security_file_certgen", "-c", "-s",
                            self.path("ssl_db"), "-M", "4MB"], check=True, timeout=30,
                           capture_output=True)
            lines += [
                f"sslcrtd_program {self.HELPERS}/security_file_certgen -s "
                f"{folder}/ssl_db -M 4MB",
                "sslcrtd_children 2 startup=1 idle=1",
                "acl step1 at_step SslBump1",
                "acl step2 at_step SslBump2",
                # bump: client-first, the certificate is made from the CONNECT line alone;
                # mimic: the server's certificate is fetched first and its names copied.
                *(["ssl_bump peek step1 port_mimic", "ssl_bump stare step2 port_mimic"]
                  if "mimic" in self.modes else []),
                "ssl_bump bump all",
                "sslproxy_cert_error allow all",
                "tls_outgoing_options flags=DONT_VERIFY_PEER",
            ]
        if "basic" in self.modes:
            # basic_ncsa_auth reads crypt(3) and APR1 MD5 hashes; openssl makes the latter.
            digest = subprocess.run(["openssl", "passwd", "-apr1", PASSWORD], check=True,
                                    timeout=30, capture_output=True, text=True).stdout.strip()
            _write(self.path("passwords"), f"{USER}:{digest}\n")
            lines += [
                f"auth_param basic program {self.HELPERS}/basic_ncsa_auth {folder}/passwords",
                "auth_param basic children 2 startup=1 idle=1",
                "auth_param basic realm Corvane test proxy",
                "auth_schemes basic port_basic",
            ]
        if "ntlm" in self.modes:
            lines += [
                f"auth_param ntlm program {self.HELPERS}/ntlm_fake_auth",
                "auth_param ntlm children 2 startup=1 idle=1",
                "auth_schemes ntlm port_ntlm",
            ]
        # auth_schemes only chooses what a 407 offers: every port would take credentials of
        # any configured scheme. The user name tells them apart: ntlm_fake_auth gives
        # DOMAIN\user, basic_ncsa_auth the name alone.
        if "basic" in self.modes:
            lines.append(f"acl basic_user proxy_auth {USER}")
        if "ntlm" in self.modes:
            lines.append(r"acl ntlm_user proxy_auth_regex [\]")  # a backslash
        lines += [
            "acl outside dst " + " ".join(_outside_loopback()),
            # A name that does not resolve matches no dst acl: it gets as far as squid's
            # own failed lookup, which the tests want to see, not a 403.
            "http_access deny outside",
        ]
        for mode in self.modes:
            if mode in ("basic", "ntlm"):
                # Denied on a credentials acl, so that the answer is a 407, not a 403.
                lines.append(f"http_access deny port_{mode} !{mode}_user")
            lines.append(f"http_access allow port_{mode}")
        lines.append("http_access deny all")
        config = _write(self.path("squid.conf"), "\n".join(lines) + "\n")
        self._hand_to(RUN_AS)
        return [self.BINARY, "-N", "-f", config]


class _TlsServer(_Daemon):
    """A daemon that serves TLS with cert and key (PEM paths), by default a fresh
    certificate of make_certificate's, made in its folder at start."""

    def __init__(self, modes=None, cert=None, key=None):
        super().__init__(modes)
        self.cert, self.key = cert, key

    def _certificate(self, *args, **options):
        if self.cert is None:
            self.cert, self.key = make_certificate(self.folder, *args, **options)


class Nginx(_TlsServer):
    """See the module's docstring. cert, key: PEM paths (default: a fresh certificate for
    127.0.0.1 and localhost)."""

    NAME = "nginx"
    BINARY = "/usr/sbin/nginx"
    MODES = {"good": "200 on /ping", "tls11": "TLS 1.1 only", "trickle": "a slow 200",
             "busy": "503"}

    def _configure(self):
        folder = self.folder
        self._certificate()
        os.makedirs(self.path("www"))
        _write(self.path("www/trickle.txt"), "t" * (TRICKLE_BYTES - 1) + "\n")
        servers = {
            "good": 'location ~ /ping$ { return 200 "ok\\n"; }',
            "tls11": "ssl_protocols TLSv1.1; ssl_ciphers DEFAULT:@SECLEVEL=0;\n"
                     '        location ~ /ping$ { return 200 "ok\\n"; }',
            "trickle": f"root {folder}/www;\n"
                       "        location ~ /ping$ {\n"
                       # limit_rate counts the head too: let it and a few body bytes out.
                       f"            limit_rate 1; limit_rate_after {TRICKLE_HEAD};\n"
                       "            try_files /trickle.txt =404;\n        }",
            "busy": 'location / { return 503 "busy\\n"; }',
        }
        blocks = "".join(
            f"    server {{\n        listen 127.0.0.1:{self.ports[mode]} ssl;\n"
            f"        {servers[mode]}\n        location / {{ return 404; }}\n    }}\n"
            if mode != "busy" else
            f"    server {{\n        listen 127.0.0.1:{self.ports[mode]} ssl;\n"
            f"        {servers[mode]}\n    }}\n"
            for mode in self.modes)
        temp = "".join(f"    {kind}_temp_path {folder}/temp/{kind};\n"
                       for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        config = _write(self.path("nginx.conf"), f"""\
user {RUN_AS} nogroup;
worker_processes 1;
error_log {folder}/error.log info;
events {{ worker_connections 64; }}
http {{
    access_log {folder}/access.log;
{temp}    default_type text/plain;
    ssl_certificate {self.cert};
    ssl_certificate_key {self.key};
{blocks}}}
""")
        os.makedirs(self.path("temp"))
        self._hand_to(RUN_AS)
        return [self.BINARY, "-p", folder, "-c", config, "-e", f"{folder}/error.log",
                "-g", f"daemon off; pid {folder}/nginx.pid;"]


class Apache(_TlsServer):
    """See the module's docstring. cert, key: PEM paths (default: a fresh certificate for
    127.0.0.1 and localhost); client certificates are checked against cert."""

    NAME = "apache"
    BINARY = "/usr/sbin/apache2"
    MODES = {"require": "client certificate required", "reneg": "TLS 1.2, renegotiates",
             "good": "200 on /ping"}
    MODULES = ("mpm_event", "authz_core", "ssl", "socache_shmcb")

    def _configure(self):
        folder = self.folder
        self._certificate()
        for page in ("www/ping", "www/needs-cert/ping"):
            os.makedirs(os.path.dirname(self.path(page)), exist_ok=True)
            _write(self.path(page), "ok\n")
        os.makedirs(self.path("run"))
        hosts = {
            "require": "SSLVerifyClient require\n    SSLVerifyDepth 1",
            "reneg": "SSLProtocol -all +TLSv1.2\n"
                     "    <Location /needs-cert>\n"
                     "        SSLVerifyClient require\n        SSLVerifyDepth 1\n"
                     "    </Location>",
            "good": "",
        }
        modules = "".join(f"LoadModule {name}_module /usr/lib/apache2/modules/mod_{name}.so\n"
                          for name in self.MODULES)
        listens = "".join(f"Listen 127.0.0.1:{self.ports[mode]}\n" for mode in self.modes)
        vhosts = "".join(f"""\
<VirtualHost 127.0.0.1:{self.ports[mode]}>
    SSLEngine on
    SSLCertificateFile {self.cert}
    SSLCertificateKeyFile {self.key}
    SSLCACertificateFile {self.cert}
    {hosts[mode]}
</VirtualHost>
""" for mode in self.modes)
        config = _write(self.path("apache2.conf"), f"""\
ServerRoot {folder}
ServerName 127.0.0.1
PidFile {folder}/apache2.pid
DefaultRuntimeDir {folder}/run
Mutex file:{folder}/run default
ErrorLog {folder}/error.log
LogLevel info
LogFormat "%h %l %u %t \\"%r\\" %>s %b" common
CustomLog {folder}/access.log common
{modules}User {RUN_AS}
Group nogroup
StartServers 1
ServerLimit 1
ThreadsPerChild 16
MaxRequestWorkers 16
SSLSessionCache shmcb:{folder}/run/ssl_scache(512000)
DocumentRoot {folder}/www
<Directory />
    Require all denied
</Directory>
<Directory {folder}/www>
    Require all granted
</Directory>
{listens}{vhosts}""")
        self._hand_to(RUN_AS)
        return [self.BINARY, "-f", config, "-DFOREGROUND"]


class Haproxy(_TlsServer):
    """See the module's docstring. cert, key: PEM paths (default: a fresh certificate for
    the DNS name config.corvane.test only)."""

    NAME = "haproxy"
    BINARY = "/usr/sbin/haproxy"
    MODES = {"strict": "strict-sni", "plain": "any SNI"}
    SERVER_NAME = "config.corvane.test"

    def _configure(self):
        self._certificate(self.SERVER_NAME, subject_alt_name=f"DNS:{self.SERVER_NAME}")
        with open(self.cert, encoding="ascii") as cert, open(self.key, encoding="ascii") as key:
            bundle = _write(self.path("server.pem"), cert.read() + key.read(), 0o600)
        frontends = "".join(f"""\
frontend {mode}
    bind 127.0.0.1:{self.ports[mode]} ssl crt {bundle}{' strict-sni' if mode == 'strict' else ''}
    http-request return status 200 content-type text/plain string "ok"
""" for mode in self.modes)
        config = _write(self.path("haproxy.cfg"), f"""\
global
    log stdout format short local0 info
defaults
    mode http
    log global
    option httplog
    timeout connect 5s
    timeout client 30s
    timeout server 30s
{frontends}""")
        return [self.BINARY, "-db", "-f", config]


class Dnsmasq(_Daemon):
    """See the module's docstring. address: the loopback address to listen on, port 53
    (default: the first free one of 127.0.78.53 and on); names: {name: address} more names
    that resolve."""

    NAME = "dnsmasq"
    BINARY = "/usr/sbin/dnsmasq"
    MODES = {"dns": "a name server on port 53"}
    DEAD_UPSTREAM = "127.0.0.9#5399"

    def __init__(self, address=None, names=None):
        super().__init__()
        self.dns_address = address
        self.names = {"config.corvane.test": "127.0.0.1", **(names or {})}
        self._silent = None
        self._ready_name = None

    @property
    def address(self):
        return self.dns_address

    @property
    def port(self):
        return 53

    def _configure(self):
        if self.dns_address is None:
            self.dns_address = self._free_address()
        self.ports = {"dns": 53}
        self._silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self._silent.bind(("127.0.0.1", 0))  # read by nobody: the upstream that never answers
        silent = self._silent.getsockname()[1]
        for name, address in self.names.items():
            if not ipaddress.ip_address(address).is_loopback:
                raise ValueError(f"{name} would resolve outside loopback: {address}")
        # A name of this instance alone: an answer for it comes from this dnsmasq, not from
        # another one on the same address (dnsmasq's UDP socket lets a second one bind).
        self._ready_name = f"{os.path.basename(self.folder).replace('_', '-')}.corvane.test"
        return [self.BINARY, "--keep-in-foreground", "--conf-file=/dev/null",
                f"--listen-address={self.dns_address}", "--bind-interfaces", "--port=53",
                "--no-resolv", "--no-hosts", "--no-poll", "--user=root",
                f"--pid-file={self.path('dnsmasq.pid')}", "--log-queries=extra",
                f"--log-facility={self.path('dnsmasq.log')}", "--cache-size=0",
                *(f"--host-record={name},{address}" for name, address in self.names.items()),
                f"--host-record={self._ready_name},127.0.0.1",
                "--local=/corvane.test/",
                f"--server=/dead.corvane.test/{self.DEAD_UPSTREAM}",
                f"--server=/silent.corvane.test/127.0.0.1#{silent}"]

    @staticmethod
    def _free_address():
        for last in range(53, 80):
            candidate = f"127.0.78.{last}"
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
                try:
                    probe.bind((candidate, 53))
                except OSError:
                    continue
                return candidate
        raise RuntimeError("no free address for dnsmasq in 127.0.78.53-79")

    def _ready(self):
        """A query for the instance's own name gets its address."""
        query = (b"\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00"
                 + b"".join(bytes([len(part)]) + part.encode()
                            for part in self._ready_name.split("."))
                 + b"\x00\x00\x01\x00\x01")
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
            probe.settimeout(0.2)
            try:
                probe.sendto(query, (self.dns_address, 53))
                answer = probe.recv(512)
            except OSError:
                return False
        # Our id, no error, one answer or more.
        return answer[:2] == b"\x12\x34" and answer[3] & 0x0F == 0 and answer[6:8] != b"\0\0"

    def url_of(self, mode):
        raise AttributeError("dnsmasq has no URL")

    def __exit__(self, *exc):
        try:
            return super().__exit__(*exc)
        finally:
            if self._silent is not None:
                self._silent.close()
                self._silent = None
