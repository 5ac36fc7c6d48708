#!/usr/bin/env bash
# Builds CorvanePing, lays out a scratch agent installation, starts a local configuration
# server on 127.0.0.1 with a fresh certificate and runs the check twice: the first run
# trusts and pins the server's certificate, the second uses the pinned one.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DBUILD_TESTING=OFF >/dev/null
cmake --build build

scratch=$(mktemp -d)
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

cmake --install build --prefix "$scratch/agent" >/dev/null
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 365 \
    -subj /CN=localhost -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
    -keyout "$scratch/server.key" -out "$scratch/server.crt" 2>/dev/null
python3 tests/e2e/config_server.py --cert "$scratch/server.crt" --key "$scratch/server.key" \
    --port-file "$scratch/port" --record "$scratch/requests.jsonl" --mode status:200 &
server_pid=$!
for _ in $(seq 100); do [ -s "$scratch/port" ] && break; sleep 0.1; done
[ -s "$scratch/port" ] || { echo "the local configuration server did not start" >&2; exit 1; }

cat >"$scratch/agent/config/install_config.txt" <<CONFIG
ConfigurationServer=127.0.0.1:$(cat "$scratch/port")
ApplicationToken=demo-token-0123456789
CONFIG

for run in "first contact" "pinned certificate"; do
    echo "=== CorvanePing, $run ==="
    status=0
    "$scratch/agent/bin/CorvanePing" || status=$?
    echo "=== exit status $status ==="
done
