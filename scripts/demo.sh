#!/usr/bin/env bash
# Builds CorvanePing, lays out a scratch agent installation, starts a local configuration
# server on 127.0.0.1 with a fresh certificate and runs the check twice: the first run
# trusts and pins the server's certificate, the second uses the pinned one. Then it prints
# the agent's log of both runs and runs the check a third time against a second local
# server with another key: the report and the log name the pin mismatch (error 90) and
# say what to do about it. Every process and file it made is gone when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DBUILD_TESTING=OFF >/dev/null
cmake --build build

scratch=$(mktemp -d)
server_pids=()
cleanup() {
    local pid
    for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${server_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

agent="$scratch/agent"
log="$agent/log/CorvaneCommon.log"
cmake --install build --prefix "$agent" >/dev/null

# Starts a configuration server on 127.0.0.1 with a fresh certificate and key named
# after $1, and waits (10 s at most) for the port it listens on, left in $scratch/$1.port.
start_server() {
    local name=$1
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 365 \
        -subj /CN=localhost -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
        -keyout "$scratch/$name.key" -out "$scratch/$name.crt" 2>/dev/null
    python3 tests/e2e/config_server.py --cert "$scratch/$name.crt" --key "$scratch/$name.key" \
        --port-file "$scratch/$name.port" --record "$scratch/$name.requests.jsonl" \
        --mode status:200 &
    server_pids+=("$!")
    for _ in $(seq 100); do [ -s "$scratch/$name.port" ] && break; sleep 0.1; done
    [ -s "$scratch/$name.port" ] || { echo "the local configuration server did not start" >&2; exit 1; }
}

# Points install_config.txt at the server started as $1.
configure() {
    cat >"$agent/config/install_config.txt" <<CONFIG
ConfigurationServer=127.0.0.1:$(cat "$scratch/$1.port")
ApplicationToken=demo-token-0123456789
CONFIG
}

# Runs the check (it ends within its own timeouts; 60 s bounds it all the same) and shows
# its report and exit status.
run_check() {
    echo "=== CorvanePing, $1 ==="
    status=0
    timeout --foreground 60 "$agent/bin/CorvanePing" >"$scratch/report" 2>&1 || status=$?
    cat "$scratch/report"
    echo "=== exit status $status ==="
}

start_server server
configure server
run_check "first contact"
run_check "pinned certificate"

echo
echo "=== the agent's log of both runs, $log in the scratch installation ==="
cat "$log"
echo "=== end of the log ==="
logged=$(wc -l <"$log")

# A server with another key: a changed key, or someone else answering.
echo
echo "=== a second configuration server with another key; install_config.txt now names it ==="
start_server other
configure other
run_check "another key than the pinned one"
if ! grep -q '^Last error code: 0x0000005a' "$scratch/report"; then
    echo "expected the pin mismatch (error 90, 0x0000005a) in the report" >&2
    exit 1
fi

echo
echo "=== the agent's log of the third run ==="
tail -n "+$((logged + 1))" "$log"
echo "=== end of the log ==="
echo
echo "A ping that ran ends with status 0 whatever its codes say (the README's \"Exit statuses\"):"
echo "the failure is named by the report's error code, 0x0000005a (90, a pin mismatch), its"
echo "message and the log's \"Pin mismatch\" line, which say what to do about it."
