"""deploy/ansible/check.yml run by ansible-playbook against a fleet on loopback.

One sshd on 127.0.0.1 lets the user we run as in by a generated key; every inventory host
is 127.0.0.1 on its port (one on a closed port) with an installation of its own, copied
from $CORVANE_INSTALL_ROOT. One configuration server serves the healthy hosts. The test
checks the summary's rows and that no host's token reaches anything the controller got.
Everything of Ansible's (configuration, home, temporary folders, log, fact cache) lives in
a temporary folder, so nothing of the machine's user is read or written.
"""

import csv
import json
import os
import pwd
import re
import secrets
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from harness import (NO_INSTALL_CONFIG, ConfigServer, ScratchInstall,  # noqa: E402
                     child_environment, make_certificate, unused_port)

PLAYBOOK = os.path.join(HERE, "..", "..", "deploy", "ansible", "check.yml")
ANSIBLE_PLAYBOOK = shutil.which("ansible-playbook")
# sshd is in sbin, which a user's PATH may lack.
SSHD = shutil.which("sshd", path=os.pathsep.join([os.environ.get("PATH", ""), "/usr/sbin"]))
PLAYBOOK_TIMEOUT = 120  # seconds; the run takes about ten
GROUP = "loopback_fleet"  # not the playbook's default, so that the variable is tried


def run_quietly(args):
    subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, timeout=30, check=True)


class Sshd:
    """sshd on 127.0.0.1 and a free port, with a generated host key, letting only the user
    we run as in, only by a generated client key. Stopped by its PID on exit."""

    def __init__(self, folder, user):
        self.folder = folder
        self.user = user
        self.port = None
        self.client_key = os.path.join(folder, "client_key")
        self.known_hosts = os.path.join(folder, "known_hosts")
        self._process = None
        self._log = None

    def __enter__(self):
        host_key = os.path.join(self.folder, "host_key")
        for key in (host_key, self.client_key):
            run_quietly(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "", "-f", key])
        shutil.copyfile(self.client_key + ".pub", os.path.join(self.folder, "authorized_keys"))
        self.port = unused_port()
        config = os.path.join(self.folder, "sshd_config")
        with open(config, "w", encoding="ascii") as out:
            # StrictModes would refuse keys under /tmp, which others may write to.
            out.write(f"ListenAddress 127.0.0.1\nPort {self.port}\nHostKey {host_key}\n"
                      f"PidFile {self.folder}/sshd.pid\n"
                      f"AuthorizedKeysFile {self.folder}/authorized_keys\n"
                      f"AllowUsers {self.user}\nPermitRootLogin prohibit-password\n"
                      "PubkeyAuthentication yes\nPasswordAuthentication no\n"
                      "KbdInteractiveAuthentication no\nUsePAM no\nStrictModes no\n"
                      "Subsystem sftp internal-sftp\n")
        with open(host_key + ".pub", encoding="ascii") as public:
            kind, key = public.read().split()[:2]
        with open(self.known_hosts, "w", encoding="ascii") as out:
            out.write(f"[127.0.0.1]:{self.port} {kind} {key}\n")
        if os.geteuid() == 0:
            # Run by root, sshd wants its privilege separation folder, which the package's
            # service would have made; nothing starts that service here.
            os.makedirs("/run/sshd", mode=0o755, exist_ok=True)
        self._log = open(os.path.join(self.folder, "sshd.log"), "wb")
        # -D: in the foreground, so that the PID is this child's; -e: its log to the file.
        self._process = subprocess.Popen([SSHD, "-D", "-e", "-f", config],
                                         stdin=subprocess.DEVNULL, stdout=self._log,
                                         stderr=self._log)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and self._process.poll() is None:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return self
            except OSError:
                time.sleep(0.05)
        self.__exit__()
        raise RuntimeError(f"sshd did not start: {self.log()}")

    def log(self):
        with open(os.path.join(self.folder, "sshd.log"), "rb") as log:
            return log.read().decode("utf-8", "replace")

    def __exit__(self, *exc):
        if self._process is not None and self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait(timeout=10)
        if self._log is not None:
            self._log.close()
        return False


@unittest.skipUnless(ANSIBLE_PLAYBOOK, "ansible-playbook is not installed (Debian: ansible-core)")
@unittest.skipUnless(SSHD, "sshd is not installed (Debian: openssh-server)")
class AnsibleFleetTest(unittest.TestCase):
    """One run of the playbook over seven hosts; each test reads what it left."""

    @classmethod
    def setUpClass(cls):
        # The hosts' side (their installations, Ansible's remote temporary folder) and the
        # controller's side apart: every file of the controller's is searched for tokens.
        hosts_side = tempfile.mkdtemp(prefix="corvane-fleet-hosts-")
        cls.addClassCleanup(shutil.rmtree, hosts_side, ignore_errors=True)
        cls.controller = tempfile.mkdtemp(prefix="corvane-fleet-controller-")
        cls.addClassCleanup(shutil.rmtree, cls.controller, ignore_errors=True)

        user = pwd.getpwuid(os.geteuid()).pw_name
        sshd = cls.enterClassContext(Sshd(hosts_side, user))
        server = cls.enterClassContext(ConfigServer())
        cls.server = server
        other_key = os.path.join(hosts_side, "other-key")
        os.mkdir(other_key)
        other_certificate, _ = make_certificate(other_key)
        cls.wrong_port = unused_port()

        cls.tokens = {}
        cls.roots = {}

        def host(name, server_address=None, pin=None, program=True):
            scratch = cls.enterClassContext(ScratchInstall())
            if server_address is not None:
                # Made-up tokens, one a host, to look for on the controller's side.
                cls.tokens[name] = f"fleet-test-token-{name}-{secrets.token_hex(8)}"
                scratch.write_install_config(
                    f"ConfigurationServer={server_address}\n"
                    f"ApplicationToken={cls.tokens[name]}\n".encode())
            if pin is not None:
                shutil.copyfile(pin, scratch.path("config/ConfigurationServer.PEM"))
            if not program:
                scratch.remove("bin")
            cls.roots[name] = scratch.root
            return {"ansible_port": sshd.port, "corvaneping_root": scratch.root}

        hosts = {
            "healthy-1": host("healthy-1", server.address),
            "healthy-2": host("healthy-2", server.address),
            "no-install-config": host("no-install-config"),
            "wrong-server": host("wrong-server", f"127.0.0.1:{cls.wrong_port}"),
            "pin-mismatch": host("pin-mismatch", server.address, pin=other_certificate),
            "no-program": host("no-program", program=False),
            # Nothing listens on this host's SSH port.
            "unreachable": {"ansible_port": unused_port(), "corvaneping_root": "/nonexistent"},
        }
        # JSON is YAML, which the inventory takes.
        inventory = os.path.join(cls.controller, "inventory.yml")
        with open(inventory, "w", encoding="utf-8") as out:
            json.dump({GROUP: {"hosts": hosts, "vars": {
                "ansible_host": "127.0.0.1", "ansible_user": user,
                "ansible_ssh_private_key_file": sshd.client_key,
                # Debian's, which ansible-core runs on: no discovery round trip.
                "ansible_python_interpreter": "/usr/bin/python3"}}}, out)

        home = os.path.join(cls.controller, "home")
        config = os.path.join(cls.controller, "ansible.cfg")
        with open(config, "w", encoding="utf-8") as out:
            # -F /dev/null: no ssh configuration of the machine's or the user's. No
            # connection is kept open past its task, so that none outlives sshd.
            out.write(f"[defaults]\ninventory = {inventory}\nforks = 10\ntimeout = 10\n"
                      f"task_timeout = 60\nlog_path = {cls.controller}/ansible.log\n"
                      f"fact_caching = jsonfile\n"
                      f"fact_caching_connection = {cls.controller}/facts\n"
                      "retry_files_enabled = False\nnocows = True\n"
                      "[ssh_connection]\npipelining = True\n"
                      f"ssh_args = -F /dev/null -o UserKnownHostsFile={sshd.known_hosts} "
                      "-o StrictHostKeyChecking=yes -o IdentitiesOnly=yes -o BatchMode=yes "
                      "-o ControlMaster=no -o ControlPersist=no\n")
        # Nothing of the caller's Ansible settings or SSH agent.
        env = {name: value for name, value in child_environment().items()
               if not name.startswith("ANSIBLE_") and name != "SSH_AUTH_SOCK"}
        env.update({
            "ANSIBLE_CONFIG": config, "ANSIBLE_HOME": os.path.join(home, ".ansible"),
            "HOME": home, "ANSIBLE_LOCAL_TEMP": os.path.join(cls.controller, "local-tmp"),
            "ANSIBLE_REMOTE_TEMP": os.path.join(hosts_side, "remote-tmp"),
            "ANSIBLE_NOCOLOR": "1", "ANSIBLE_FORCE_COLOR": "0"})
        os.makedirs(home)

        cls.json_path = os.path.join(cls.controller, "summary.json")
        cls.csv_path = os.path.join(cls.controller, "summary.csv")
        # -v and --diff: every module result and every change is shown, so that the
        # output is searched for tokens too.
        started = time.monotonic()
        cls.done = subprocess.run(
            [ANSIBLE_PLAYBOOK, "-v", "--diff", "-e", f"corvaneping_group={GROUP}",
             "-e", f"corvaneping_summary_json={cls.json_path}",
             "-e", f"corvaneping_summary_csv={cls.csv_path}", PLAYBOOK],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=env, cwd=cls.controller, timeout=PLAYBOOK_TIMEOUT, check=False)
        cls.seconds = time.monotonic() - started
        cls.stdout = cls.done.stdout.decode("utf-8", "replace")
        cls.stderr = cls.done.stderr.decode("utf-8", "replace")
        sys.stderr.write(f"\nansible-playbook ran {cls.seconds:.1f} s; its summary:\n"
                         f"{cls.printed_summary()}\n")

    @classmethod
    def printed_summary(cls):
        """The summary's lines as the debug task printed them."""
        found = re.search(r'"msg": \[\n(.*?)\n\s*\]', cls.stdout, re.DOTALL)
        return "\n".join(json.loads(line.strip().rstrip(","))
                         for line in found.group(1).splitlines()) if found else ""

    def setUp(self):
        self.assertEqual(self.done.returncode, 0, f"{self.stdout}\n{self.stderr}")

    def rows(self):
        with open(self.json_path, encoding="utf-8") as summary:
            return {row["host"]: row for row in json.load(summary)}

    def test_each_host_has_its_row(self):
        server = re.escape(self.server.address)
        wrong = re.escape(f"127.0.0.1:{self.wrong_port}")
        pin = re.escape(self.roots["pin-mismatch"])
        # host: outcome, status, response code, error code, message pattern
        expected = {
            "healthy-1": ("passed", 0, 200, 0, r""),
            "healthy-2": ("passed", 0, 200, 0, r""),
            "wrong-server": ("error", 0, 0, 7,
                             rf"Cannot connect to the configuration server at {wrong} .*"),
            "pin-mismatch": ("error", 0, 0, 90,
                             rf"The configuration server at {server} presents key sha256//.*, "
                             r"not the key sha256//.* pinned in config/ConfigurationServer\.PEM; "
                             rf".* remove {pin}/config/ConfigurationServer\.PEM .*"),
            "no-install-config": ("no report", 254, None, None,
                                  re.escape(NO_INSTALL_CONFIG.decode().strip())),
            "no-program": ("missing", 127, None, None,
                           re.escape(f"no such file: {self.roots['no-program']}/bin/CorvanePing")),
            # Ansible's words when it pipes a module into ssh; then ssh's own reason
            # ("Connection refused") or, when ssh ended before the write, a broken pipe.
            "unreachable": ("unreachable", None, None, None,
                            r'Data could not be sent to remote host "127\.0\.0\.1"\. .*'),
        }
        rows = self.rows()
        self.assertEqual(sorted(rows), sorted(expected))
        for host, (outcome, status, response, error, message) in expected.items():
            with self.subTest(host=host):
                row = rows[host]
                self.assertEqual((row["outcome"], row["status"], row["response_code"],
                                  row["error_code"]), (outcome, status, response, error), row)
                self.assertRegex(row["message"], f"^{message}$")

    def test_rows_are_grouped_by_outcome(self):
        with open(self.json_path, encoding="utf-8") as summary:
            hosts = [row["host"] for row in json.load(summary)]
        self.assertEqual(hosts, ["healthy-1", "healthy-2", "wrong-server", "pin-mismatch",
                                 "no-install-config", "no-program", "unreachable"])
        printed = self.printed_summary().splitlines()
        self.assertEqual([line for line in printed if not line.startswith(" ")], [
            "CorvanePing on 7 hosts: 2 passed", "passed: 2", "error 7 (0x00000007): 1",
            "error 90 (0x0000005a): 1", "no report: exit status -2 (254): 1", "missing: 1",
            "unreachable: 1"])

    def test_the_csv_holds_the_same_rows(self):
        with open(self.csv_path, encoding="utf-8", newline="") as summary:
            rows = list(csv.DictReader(summary))
        expected = [{key: "" if row[key] is None else str(row[key]) for key in
                     ("host", "outcome", "status", "response_code", "error_code", "message")}
                    for row in self.rows().values()]
        self.assertEqual(sorted(rows, key=lambda row: row["host"]),
                         sorted(expected, key=lambda row: row["host"]))

    def test_the_reports_came_back_without_the_token(self):
        # The filtered report of a healthy host is in the verbose output...
        self.assertIn(f"ConfigurationServer = {self.server.address}", self.stdout)
        self.assertNotIn("ApplicationToken =", self.stdout)
        # ...while each token stayed in its host's installation.
        received = {"stdout": self.done.stdout, "stderr": self.done.stderr}
        for folder, _, files in os.walk(self.controller):
            for name in files:
                with open(os.path.join(folder, name), "rb") as data:
                    received[os.path.join(folder, name)] = data.read()
        self.assertIn(os.path.join(self.controller, "ansible.log"), received)
        self.assertTrue(os.listdir(os.path.join(self.controller, "facts")),
                        "the fact cache is empty")
        for host, token in self.tokens.items():
            with open(os.path.join(self.roots[host], "config", "install_config.txt"),
                      encoding="ascii") as config:
                self.assertIn(token, config.read())
            for where, data in received.items():
                self.assertNotIn(token.encode(), data, f"{host}'s token reached {where}")


if __name__ == "__main__":
    unittest.main()
