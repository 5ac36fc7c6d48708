"""Console control events (SIGINT, SIGTERM, SIGHUP, SIGQUIT) during the ping: the run
ends at once with status 255 (-1) and prints nothing, whatever the signals' order.

Windows has only Ctrl+C of these: wine hands SIGINT to the console control handlers as
CTRL_C_EVENT, on a thread of their own as Windows does; it ends the process on SIGTERM and
SIGHUP without a console event and ignores SIGQUIT."""

import signal
import subprocess
import time
import unittest

from harness import (WINDOWS, ConfigServer, ScratchInstall, child_environment, command,
                     fault_environment, not_under_wine)
from test_ping_report import install_config, leftovers

CONSOLE_EVENT = 255  # -1
# The handler ends the run at once and a watchdog ends a stalled exit after half a
# second; the server would keep the ping waiting for 30 s.
EXIT_BOUND = 1.0
CONNECT_BOUND = 15.0  # seconds to wait for the program's request to reach the server
EVENTS = ((signal.SIGINT,) if WINDOWS else
          (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT))


class ConsoleEventTest(unittest.TestCase):

    def interrupt(self, signals, gap=0.0):
        """Starts a ping against a server that never answers, sends signals once the
        request has arrived and checks how the run ended."""
        with ConfigServer("hang") as server, ScratchInstall() as scratch:
            scratch.write_install_config(install_config(server.address.encode()))
            process = subprocess.Popen(command(scratch.program), stdin=subprocess.DEVNULL,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       env=child_environment())
            try:
                arrived = server.wait_for(
                    lambda s: s.requests() or process.poll() is not None, timeout=CONNECT_BOUND)
                self.assertIsNone(process.poll(), "the program ended before it was signalled")
                self.assertTrue(arrived, "the ping did not reach the server")
                sent = time.monotonic()
                for number in signals:
                    process.send_signal(number)
                    if gap:
                        time.sleep(gap)
                out, err = process.communicate(timeout=10)
                elapsed = time.monotonic() - sent
            finally:
                if process.poll() is None:
                    process.kill()
                    process.communicate(timeout=10)
            self.assertEqual((process.returncode, out, err), (CONSOLE_EVENT, b"", b""),
                             f"after {[signal.Signals(s).name for s in signals]}")
            self.assertLess(elapsed, EXIT_BOUND, "the run did not end promptly on the event")
            self.assertEqual(leftovers(scratch), [])

    def test_each_event_ends_the_run(self):
        for number in EVENTS:
            with self.subTest(signal.Signals(number).name):
                self.interrupt([number])

    # Repeated to catch races between the handler's thread and the main thread.
    def test_interrupt_repeatedly(self):
        for attempt in range(5):
            with self.subTest(attempt=attempt):
                self.interrupt([signal.SIGINT])

    def test_second_interrupt_is_swallowed(self):
        self.interrupt([signal.SIGINT, signal.SIGINT])

    def test_burst_of_events(self):
        burst = list(EVENTS) * 3
        self.interrupt(burst)

    # Events that arrive while exit processing is under way.
    def test_events_spread_over_the_exit(self):
        spread = [signal.SIGINT] * 3 if WINDOWS else [signal.SIGTERM, signal.SIGINT, signal.SIGHUP]
        self.interrupt(spread, gap=0.01)


class EventAtEntryTest(unittest.TestCase):
    """An event that arrives before the run has done anything ends it through the
    handler too, never by the signal's default action."""

    @not_under_wine("the seam is a library preloaded with LD_PRELOAD")
    def test_event_in_the_first_call_of_the_run(self):
        # The preload seam sends SIGTERM from ACE::init, the run's first library call,
        # and waits there for the handler.
        with ScratchInstall() as scratch:
            env = fault_environment("signal-at-entry", preload=True)
            self.assertEqual(scratch.run(env=env), (CONSOLE_EVENT, b"", b""))


if __name__ == "__main__":
    unittest.main()
