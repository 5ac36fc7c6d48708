#!/usr/bin/env python3
"""Times commands run one after another, alternating, and prints their medians.

    measure.py [--json OUT] RUNS NAME=COMMAND-FILE [NAME=COMMAND-FILE ...]

Each COMMAND-FILE holds one JSON object: {"argv": [...], "expect_status": N,
"expect_output": "text that standard output must contain" (optional)}. The commands run
in turn (A B A B ...) RUNS times each, with standard input from /dev/null, standard
output to a scratch file and standard error discarded; a run that ends with another
status or lacks the expected output stops the benchmark. The last command is the
reference of the printed ratios; --json writes the medians and ratios to OUT as well.

Figures, from two runs of each command per round:
  wall  time.perf_counter() around posix_spawn and the wait for the end of the command;
  cpu   user + system time of the command, from os.wait4's rusage (microseconds);
  rss   the command's peak resident set, from GNU time's %M (kB), in a second run.
The peak RSS needs a run of its own under /usr/bin/time: the kernel charges a child that
a large process (this interpreter) spawns with the parent's own peak RSS, while GNU time
is a small C program that forks the command itself. The timed run goes without it, as
the trampoline adds several milliseconds of its own start-up on a slow-exec machine.
"""

import json
import os
import select
import signal
import statistics
import sys
import tempfile
import time

TIME = "/usr/bin/time"
RUN_TIMEOUT = 60.0  # seconds one run may take before the benchmark gives up on it


def run_once(argv, scratch, measure_rss):
    rss_file = os.path.join(scratch, "rss")
    out_file = os.path.join(scratch, "stdout")
    with open(out_file, "wb") as out, open(os.devnull, "rb") as null_in, \
            open(os.devnull, "wb") as null_out:
        actions = [(os.POSIX_SPAWN_DUP2, null_in.fileno(), 0),
                   (os.POSIX_SPAWN_DUP2, out.fileno(), 1),
                   (os.POSIX_SPAWN_DUP2, null_out.fileno(), 2)]
        full = [TIME, "-f", "%M", "-o", rss_file, *argv] if measure_rss else argv
        start = time.perf_counter()
        pid = os.posix_spawnp(full[0], full, os.environ, file_actions=actions)
        # A process descriptor becomes readable when the child ends: no polling delay.
        pidfd = os.pidfd_open(pid)
        try:
            ended = select.select([pidfd], [], [], RUN_TIMEOUT)[0]
        finally:
            os.close(pidfd)
        if not ended:
            os.kill(pid, signal.SIGKILL)
            os.wait4(pid, 0)
            raise RuntimeError(f"{argv[0]} took longer than {RUN_TIMEOUT} s")
        _, status, usage = os.wait4(pid, 0)
        wall = time.perf_counter() - start
    rss = None
    if measure_rss:
        with open(rss_file, encoding="ascii") as text:
            # GNU time writes "Command exited with non-zero status N" before the format.
            rss = int(text.read().split()[-1])
    with open(out_file, "rb") as text:
        output = text.read().decode("utf-8", "replace")
    return {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime, "rss": rss,
            "status": os.waitstatus_to_exitcode(status), "output": output}


def check(name, command, result):
    """Stops the benchmark when a run did not do what it should."""
    if result["status"] != command.get("expect_status", 0):
        sys.exit(f"{name}: exit status {result['status']}, expected "
                 f"{command.get('expect_status', 0)}; output:\n{result['output']}")
    wanted = command.get("expect_output")
    if wanted and wanted not in result["output"]:
        sys.exit(f"{name}: output lacks {wanted!r}:\n{result['output']}")


def median(values):
    return statistics.median(values)


def main():
    args = sys.argv[1:]
    json_out = None
    if args[:1] == ["--json"]:
        json_out, args = args[1], args[2:]
    runs = int(args[0])
    commands = []
    for entry in args[1:]:
        name, _, path = entry.partition("=")
        with open(path, encoding="utf-8") as text:
            commands.append((name, json.load(text)))

    results = {name: [] for name, _ in commands}
    with tempfile.TemporaryDirectory(prefix="corvane-measure-") as scratch:
        for _ in range(runs):
            for measure_rss in (False, True):
                for name, command in commands:
                    result = run_once(command["argv"], scratch, measure_rss)
                    check(name, command, result)
                    if measure_rss:
                        results[name][-1]["rss"] = result["rss"]
                    else:
                        results[name].append(result)

    print(f"{'':24} {'wall median':>12} {'wall min':>9} {'wall max':>9} {'cpu median':>11} "
          f"{'peak RSS median':>16}")
    summary = {}
    for name, _ in commands:
        rows = results[name]
        walls = [r["wall"] * 1000 for r in rows]
        summary[name] = {"wall": median(walls), "cpu": median(r["cpu"] * 1000 for r in rows),
                         "rss": median(r["rss"] for r in rows)}
        print(f"{name:24} {summary[name]['wall']:9.1f} ms {min(walls):6.1f} ms "
              f"{max(walls):6.1f} ms {summary[name]['cpu']:8.1f} ms "
              f"{summary[name]['rss'] / 1024:12.1f} MiB")
    # Ratios of each command to the last one (the reference).
    reference = commands[-1][0]
    ratios = {}
    for name, _ in commands[:-1]:
        ratios[name] = {what: summary[name][what] / summary[reference][what]
                        for what in ("wall", "cpu", "rss")}
        print(f"ratio {name}/{reference}: " +
              "  ".join(f"{what} {value:.2f}" for what, value in ratios[name].items()))
    if json_out:
        with open(json_out, "w", encoding="utf-8") as out:
            json.dump({"medians": summary, "ratios": ratios}, out)


if __name__ == "__main__":
    main()
