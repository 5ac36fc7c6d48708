"""Console control events (SIGINT, SIGTERM, SIGHUP, SIGQUIT) during the ping: the run
ends at once with status 255 (-1) and prints nothing, whatever the signals' order.

Windows has Ctrl+C, Ctrl+Break and the closing of the console: wine hands SIGINT to the
console control handlers as CTRL_C_EVENT, on a thread of their own as Windows does; it
ends the process on SIGTERM and SIGHUP without a console event and ignores SIGQUIT. The
other two events are sent as the console sends them, by seams/windows_helper.cpp."""

import os
import signal
import subprocess
import time
import unittest

from harness import (CONSOLE_EVENT, WINDOWS, WINE, ConfigServer, ScratchInstall, child_environment,
                     command, fault_environment, install_config, leftovers, not_under_wine,
                     windows_path)

# The handler ends the run at once and a watchdog ends a stalled exit after half a
# second; the server would keep the ping waiting for 30 s.
EXIT_BOUND = 1.0
CONNECT_BOUND = 15.0  # seconds to wait for the program's request to reach the server
# Windows events that wine cannot send, by their number (CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT).
CTRL_BREAK = "Ctrl+Break"
CLOSE = "close"
WINDOWS_EVENTS = {CTRL_BREAK: "1", CLOSE: "2"}
EVENTS = ((signal.SIGINT, CTRL_BREAK, CLOSE) if WINDOWS else
          (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT))


def event_name(event):
    return event if isinstance(event, str) else signal.Signals(event).name


def send_windows_events(program, events):
    """Sends events, back to back, to the running program as its console would."""
    sender = subprocess.run([WINE, os.environ["CORVANE_WINDOWS_HELPER"], "event",
                             windows_path(program),
                             *(WINDOWS_EVENTS[event] for event in events)],
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=20,
                            env=child_environment(), check=False)
    if sender.returncode != 0:
        raise AssertionError(f"could not send {events}: status {sender.returncode}")


def settled_leftovers(scratch, wait=2.0):
    """leftovers(scratch) once they are gone or wait seconds have passed. On Windows the
    system removes the pin's temporary file when the ended process's handle closes; wine
    does that after it has seen the process end, which may come after the exit status."""
    deadline = time.monotonic() + (wait if WINDOWS else 0)
    while True:
        left = leftovers(scratch)
        if not left or time.monotonic() >= deadline:
            return left
        time.sleep(0.05)


class ConsoleEventTest(unittest.TestCase):

    def interrupt(self, events, gap=0.0):
        """Starts a ping against a server that never answers, sends events (signals, or
        the names of WINDOWS_EVENTS) once the request has arrived and checks how the run
        ended."""
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
                # From the first event on; the helper's own start under wine not counted.
                sent = None
                pending = []  # Windows events, sent back to back by one helper
                for event in list(events) + [None]:
                    if isinstance(event, str):
                        pending.append(event)
                        continue
                    if pending:
                        send_windows_events(scratch.program, pending)
                        sent = sent or time.monotonic()
                        pending = []
                    if event is not None:
                        sent = sent or time.monotonic()
                        process.send_signal(event)
                        if gap:
                            time.sleep(gap)
                out, err = process.communicate(timeout=10)
                elapsed = time.monotonic() - sent
            finally:
                if process.poll() is None:
                    process.kill()
                    process.communicate(timeout=10)
            self.assertEqual((process.returncode, out, err), (CONSOLE_EVENT, b"", b""),
                             f"after {[event_name(event) for event in events]}")
            self.assertLess(elapsed, EXIT_BOUND, "the run did not end promptly on the event")
            self.assertEqual(settled_leftovers(scratch), [])

    def test_each_event_ends_the_run(self):
        for event in EVENTS:
            with self.subTest(event_name(event)):
                self.interrupt([event])

    # Repeated to catch races between the handler's thread and the main thread.
    def test_interrupt_repeatedly(self):
        for attempt in range(5):
            with self.subTest(attempt=attempt):
                self.interrupt([signal.SIGINT])

    def test_second_event_is_swallowed(self):
        # On Windows a second event arrives during the exit: returning from a close there
        # would let the system end the process with a status of its own.
        pairs = [[signal.SIGINT, signal.SIGINT]]
        if WINDOWS:
            pairs += [[CTRL_BREAK, CLOSE], [CLOSE, CLOSE]]
        for events in pairs:
            with self.subTest([event_name(event) for event in events]):
                self.interrupt(events)

    def test_burst_of_events(self):
        burst = [event for event in EVENTS if not isinstance(event, str)] * 3
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
