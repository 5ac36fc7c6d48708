"""A run by root beside files that a lesser account may write: root's rights are never
steered by them. The account plays the agent's group, whose members write the log and
the pin."""

import os
import shutil
import stat
import tempfile
import threading
import unittest

from harness import (OK, REPORT_PRINTED, WINDOWS, ConfigServer, ScratchInstall, install_config,
                     parameter_lines, report)

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

    def test_every_spelling_of_an_appenders_file_is_checked(self):
        # log4cxx takes log4j:param as param, and FileName as File: a link named either
        # way is refused before log4cxx opens it, and the default log is used instead.
        spellings = (b'<param name="FileName"', b'<log4j:param name="File"',
                     b'<param name="file"')
        for spelling in spellings:
            with self.subTest(spelling=spelling), ConfigServer() as server, \
                    ScratchInstall() as scratch:
                if os.path.lexists(self.target):  # left by an earlier spelling
                    os.remove(self.target)
                link = os.path.join(scratch.log_dir, "planted.log")
                os.symlink(self.target, link)
                text = APPENDER.replace(b'<param name="File"', spelling) % link.encode()
                if spelling.startswith(b"<log4j:"):
                    text = text.replace(b'value="%s"/>' % link.encode(),
                                        b'value="%s"></log4j:param>' % link.encode())
                config = scratch.write_file("config/logconfig.xml", text)
                os.chmod(config, 0o644)
                self.ping(scratch, server)

    def test_a_log_swapped_and_back_is_never_written_through_nor_waited_on(self):
        # A member swaps the log between a file and a link, or a FIFO, as fast as it can,
        # while root's run opens it: whatever log4cxx opened in between, no line goes
        # through the link, and no run waits for a reader of the FIFO.
        plant = {"link": lambda spare: os.symlink(self.target, spare), "fifo": os.mkfifo}
        for kind, make in plant.items():
            with self.subTest(kind=kind), ConfigServer() as server, ScratchInstall() as scratch:
                scratch.write_install_config(install_config(server.address.encode()))
                log, spare = scratch.log_path, scratch.log_path + ".swap"
                done = threading.Event()

                def swap():
                    while not done.is_set():
                        with open(spare, "ab"):
                            pass
                        os.replace(spare, log)
                        make(spare)
                        os.replace(spare, log)

                swapper = threading.Thread(target=swap)
                swapper.start()
                try:
                    for _ in range(30):
                        self.assertEqual(scratch.run(timeout=10)[0], REPORT_PRINTED)
                        written = os.path.getsize(self.target) if os.path.exists(self.target) else 0
                        self.assertEqual(written, 0, "a line went through the link")
                finally:
                    done.set()
                    swapper.join(timeout=10)

if __name__ == "__main__":
    unittest.main()
