#!/usr/bin/env python3
"""Where one run's time goes: the medians of its phases, from probes at their borders.

    phases.py RUNS AGENT CURL-ARGV...

AGENT is an installed agent whose bin/CorvanePing pings a server that answers; CURL-ARGV
is the curl command of the same ping. Each program runs RUNS times under `perf record`
with user-space probes (uprobes) at the functions that open the run's phases and with
the scheduler's exec and exit events; the script prints the median of each phase. For
curl, whose binary is stripped, only exec to main and main to exit are told apart: its
main is found where the entry point hands it to __libc_start_main.

Needs root, perf and a writable /sys/kernel/tracing. The probes cost a few microseconds
each: compare phases with phases, not these totals with bench.sh's wall times.
"""

import os
import re
import statistics
import subprocess
import sys
import tempfile

TRACING = "/sys/kernel/tracing/uprobe_events"
GROUP = "corvane_bench"
LOGGER = "_ZN8Ardentis13LoggerFactory10InitializeERKNSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEEES8_"
PING = "_ZN8Ardentis15HttpsConnection4PingEv"
# (probe, binary under AGENT/bin or a path, symbol, on return): in the order a run meets them.
AGENT_PROBES = [
    ("main", "CorvanePing", "main", False),
    ("logging", "libCorvaneCommon.so", LOGGER, False),
    ("logging_done", "libCorvaneCommon.so", LOGGER, True),
    ("components", "libCorvaneCommon.so", "_ZN8Ardentis19GetComponentFactoryEv", False),
    ("service", "libCommunicationAPI.so", "CorvaneCreateService", False),
    ("ping", "libCommunicationAPI.so", PING, False),
    ("ping_done", "libCommunicationAPI.so", PING, True),
]
PHASES = {
    "exec": "exec, loading the libraries, their constructors",
    "main": "ACE::init, console thread, options, working folder, root given up",
    "logging": "LoggerFactory::Initialize",
    "logging_done": "install_config.txt, configuration manager, service descriptor",
    "components": "LoadComponents: dlopen of the module with libssl and libcrypto",
    "service": "the service's creation (curl_global_init: OpenSSL's set-up)",
    "ping": "Ping: settings, pin, TLS context, handshake, request, trace",
    "ping_done": "release, ACE::fini, report, exit handlers",
}


def file_offset(binary, address):
    """Where the code at address lies in the file: what a probe is set at."""
    segments = subprocess.run(["readelf", "-lW", binary], capture_output=True, text=True).stdout
    for line in segments.splitlines():
        fields = line.split()
        if fields[:1] == ["LOAD"]:
            offset, vaddr, size = int(fields[1], 16), int(fields[2], 16), int(fields[5], 16)
            if vaddr <= address < vaddr + size:
                return address - vaddr + offset
    raise SystemExit(f"phases: {address:#x} lies in no segment of {binary}")


def symbol_address(binary, symbol):
    table = subprocess.run(["nm", binary], capture_output=True, text=True).stdout
    for line in table.splitlines():
        fields = line.split()
        if len(fields) == 3 and fields[2] == symbol and fields[1] in "Tt":
            return int(fields[0], 16)
    raise SystemExit(f"phases: no function {symbol} in {binary}")


def main_of_stripped(binary):
    """The address of main in a stripped PIE: what the entry point loads into rdi."""
    header = subprocess.run(["readelf", "-h", binary], capture_output=True, text=True).stdout
    entry = int(re.search(r"Entry point address:\s+0x([0-9a-f]+)", header).group(1), 16)
    code = subprocess.run(["objdump", "-d", binary, f"--start-address={entry}",
                           f"--stop-address={entry + 48}"], capture_output=True, text=True).stdout
    found = re.search(r"lea\s+-?0x[0-9a-f]+\(%rip\),%rdi\s+# ([0-9a-f]+)", code)
    if not found:
        raise SystemExit(f"phases: no main found at the entry point of {binary}")
    return int(found.group(1), 16)


def set_probes(probes):
    """Replaces this script's probes by probes: (name, binary, address, on return)."""
    clear_probes()
    for name, binary, address, on_return in probes:
        kind = "r" if on_return else "p"
        add_probe_line(f"{kind}:{GROUP}/{name} {binary}:{file_offset(binary, address):#x}")


def clear_probes():
    with open(TRACING) as events:
        ours = [line.split()[0].split(":", 1)[1] for line in events
                if line.split()[0].split(":", 1)[1].startswith(GROUP + "/")]
    for name in ours:
        add_probe_line(f"-:{name}")


def add_probe_line(line):
    # One write a line, appended: tracefs takes no seek and keeps other tools' probes.
    events = os.open(TRACING, os.O_WRONLY | os.O_APPEND)
    try:
        os.write(events, (line + "\n").encode())
    finally:
        os.close(events)


def medians(runs, argv, comm, order):
    with tempfile.TemporaryDirectory(prefix="corvane-phases-") as scratch:
        data = os.path.join(scratch, "perf.data")
        loop = f'for i in $(seq {runs}); do "$@" >/dev/null 2>&1; done'
        subprocess.run(["perf", "record", "-q", "-o", data, "-e", f"{GROUP}:*",
                        "-e", "sched:sched_process_exec", "-e", "sched:sched_process_exit",
                        "--", "bash", "-c", loop, "loop"] + argv, check=True)
        script = subprocess.run(["perf", "script", "-i", data, "-F", "comm,pid,time,event"],
                                capture_output=True, text=True, check=True).stdout
    seen = {}
    for line in script.splitlines():
        fields = line.split()
        if len(fields) < 4 or fields[0] != comm[:15]:
            continue
        event = fields[3].rstrip(":").split(":")[-1].replace("sched_process_", "")
        seen.setdefault(fields[1], {}).setdefault(event, float(fields[2].rstrip(":")))
    steps = {}
    for times in seen.values():
        if "exec" not in times or "exit" not in times:
            continue
        marks = [name for name in order if name in times] + ["exit"]
        for start, end in zip(marks, marks[1:]):
            steps.setdefault(start, []).append((times[end] - times[start]) * 1000)
        steps.setdefault("total", []).append((times["exit"] - times["exec"]) * 1000)
    return {name: statistics.median(values) for name, values in steps.items()}


def main():
    if len(sys.argv) < 4 or not sys.argv[1].isdigit():
        raise SystemExit(__doc__)
    runs, agent, curl = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    binaries = {name: os.path.join(agent, "bin", name) for _, name, _, _ in AGENT_PROBES}
    try:
        set_probes([(name, binaries[binary], symbol_address(binaries[binary], symbol), back)
                    for name, binary, symbol, back in AGENT_PROBES])
        ours = medians(runs, [binaries["CorvanePing"]], "CorvanePing",
                       ["exec"] + [name for name, *_ in AGENT_PROBES])
        program = subprocess.run(["sh", "-c", f'command -v "{curl[0]}"'], capture_output=True,
                                 text=True).stdout.strip()
        set_probes([("main", program, main_of_stripped(program), False)])
        theirs = medians(runs, curl, os.path.basename(program), ["exec", "main"])
    finally:
        clear_probes()
    print(f"{'phase':<72} {'median':>8}")
    for name, text in PHASES.items():
        print(f"{text:<72} {ours.get(name, 0):6.2f} ms")
    print(f"{'CorvanePing, exec to exit':<72} {ours['total']:6.2f} ms")
    print(f"{'curl: exec, loading its libraries, their constructors':<72} {theirs['exec']:6.2f} ms")
    print(f"{'curl: main to exit':<72} {theirs['main']:6.2f} ms")
    print(f"{'curl, exec to exit':<72} {theirs['total']:6.2f} ms")


if __name__ == "__main__":
    main()
