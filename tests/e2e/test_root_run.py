"""A run by root beside files that a lesser account may write: root's rights are never
steered by them. The account plays the agent's group, whose members write the log and
the pin."""

import os
import shutil
import stat
import tempfile
import unittest

from harness import WINDOWS, ConfigServer, ScratchInstall
from test_ping_report import OK, REPORT_PRINTED, install_config, parameter_lines, report

NOBODY = 65534
APPENDER = b"""<?xml version="1.0"?>
<log4j:configuration xmlns:log4j="http://jakarta.apache.org/log4j/">
  <appender name="A" class="org.apache.log4j.FileAppender">
    <param name="File" value="%s"/>
    <layout class="org.apache.log4j.PatternLayout">
      <param name="ConversionPattern" value="ssh-ed25519 planted %%m%%n"/>
    </layout>
  </appender>
  <root><priority value="info"/><appender-ref ref="A"/></root>
</log4j:configuration>
"""


@unittest.skipIf(WINDOWS or os.geteuid() != 0, "needs root on Linux")
class RootRunTest(unittest.TestCase):
    def setUp(self):
        # A file only root may create: where a planted link or appender would aim.
        self.closed = tempfile.mkdtemp(prefix="corvane-e2e-root-only-")
        self.addCleanup(shutil.rmtree, self.closed, ignore_errors=True)
        self.target = os.path.join(self.closed, "authorized_keys")

    def ping(self, scratch, server):
        scratch.write_install_config(install_config(server.address.encode()))
        status, out, err = scratch.run()
        lines = parameter_lines(server.address.encode())
        self.assertEqual((status, err, out), (REPORT_PRINTED, b"", report(lines, False, True, 200, OK)))
        self.assertFalse(os.path.lexists(self.target), "root's run wrote where it was steered")

    def test_root_works_as_the_owner_of_the_log_folder(self):
        # The account owns log/ and may write config/; a link at the log aims at a file
        # only root may create. Root's run is that account's, so the link leads nowhere,
        # and the pin it writes is the account's.
        with ConfigServer() as server, ScratchInstall() as scratch:
            os.chmod(scratch.folder, 0o755)
            for folder in (scratch.log_dir, scratch.config):
                os.chown(folder, NOBODY, NOBODY)
            os.symlink(self.target, scratch.log_path)
            self.ping(scratch, server)
            pin = os.stat(scratch.path("config/ConfigurationServer.PEM"))
            self.assertEqual((pin.st_uid, pin.st_gid), (NOBODY, NOBODY))
            self.assertTrue(os.path.islink(scratch.log_path))

    def test_log_configuration_that_others_may_change_is_not_used(self):
        # Root's own installation: a logconfig.xml that another account owns, or that
        # the group may write, names a file of root's; the default log is used instead.
        for owner, mode in ((NOBODY, 0o644), (0, 0o664), (0, 0o646)):
            with self.subTest(owner=owner, mode=oct(mode)), ConfigServer() as server, \
                    ScratchInstall() as scratch:
                config = scratch.write_file("config/logconfig.xml", APPENDER % self.target.encode())
                os.chown(config, owner, 0)
                os.chmod(config, mode)
                self.ping(scratch, server)
                self.assertIn(b"config/logconfig.xml is not used: it must be a regular file that "
                              b"only its owner, root or the user of the run, may write",
                              scratch.read_log())

    def test_log_configuration_of_root_is_used(self):
        # The same file, root's and closed to others, is followed: the check above is
        # what refused it.
        with ConfigServer() as server, ScratchInstall() as scratch:
            config = scratch.write_file("config/logconfig.xml", APPENDER % self.target.encode())
            os.chmod(config, 0o644)
            scratch.write_install_config(install_config(server.address.encode()))
            self.assertEqual(scratch.run()[0], REPORT_PRINTED)
            self.assertTrue(stat.S_ISREG(os.stat(self.target).st_mode))


if __name__ == "__main__":
    unittest.main()
