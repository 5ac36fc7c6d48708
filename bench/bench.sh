#!/usr/bin/env bash
# CorvanePing against curl: the same single HTTPS request to the same local server.
#
#   bash bench/bench.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR (default <repo>/build-bench) is configured and built when needed. The build
# is installed into a scratch agent installation; `openssl s_server -www` serves a fresh
# self-signed certificate on 127.0.0.1; one run of CorvanePing pins that certificate;
# then RUNS (default 30) alternating runs of CorvanePing and of curl are timed, first
# against the server, then against a port where nothing listens. bench/README.md says
# what the figures mean.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build-bench}
runs=${2:-30}
token="bench-token-0123456789abcdef"

if ! [[ $runs =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: bash bench/bench.sh [BUILD_DIR] [RUNS]" >&2
    exit 2
fi

as_root() {
    if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

# GNU time gives each command's peak RSS (see measure.py).
if [[ ! -x /usr/bin/time ]]; then
    as_root apt-get install -y time || { as_root apt-get update && as_root apt-get install -y time; }
fi
for tool in cmake ninja openssl curl python3; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 2; }
done

if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCORVANE_WERROR=ON -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$build" -j2 --target CorvanePing CommunicationAPI >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvane-bench-XXXXXX")
server_pid=""
stop_server() {
    [[ -n $server_pid ]] || return 0
    kill "$server_pid" 2>/dev/null || true
    for _ in $(seq 50); do
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$server_pid" 2>/dev/null || true
    server_pid=""
}
cleanup() {
    stop_server
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# A port that nothing listens on at this moment.
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Succeeds when something accepts TCP connections on 127.0.0.1:$1.
port_open() {
    timeout 1 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null
}

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj /CN=localhost -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
    -keyout "$scratch/server.key" -out "$scratch/server.crt" 2>/dev/null

# The port may be taken between free_port and s_server: a few tries, each waiting at
# most 5 s for the server to listen.
for _ in 1 2 3 4 5; do
    port=$(free_port)
    openssl s_server -accept "127.0.0.1:$port" -www -quiet -cert "$scratch/server.crt" \
        -key "$scratch/server.key" </dev/null >"$scratch/server.log" 2>&1 &
    server_pid=$!
    for _ in $(seq 100); do
        port_open "$port" && break
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.05
    done
    port_open "$port" && break
    stop_server
done
[[ -n $server_pid ]] || { echo "bench: openssl s_server did not start" >&2; exit 1; }

agent=$scratch/agent
cmake --install "$build" --prefix "$agent" >/dev/null
write_install_config() {
    printf 'ConfigurationServer=127.0.0.1:%s\nApplicationToken=%s\n' "$1" "$token" \
        >"$agent/config/install_config.txt"
}
write_install_config "$port"

# Neither program goes through a proxy, and curl reads no .curlrc.
unset https_proxy HTTPS_PROXY http_proxy HTTP_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
mkdir "$scratch/home"
export CURL_HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home

pem=$agent/config/ConfigurationServer.PEM
timeout 30 "$agent/bin/CorvanePing" >"$scratch/pin.out"
if [[ ! -s $pem ]] || ! grep -q 'Last response code: 0x000000c8' "$scratch/pin.out"; then
    echo "bench: the first run did not pin the server's certificate:" >&2
    cat "$scratch/pin.out" >&2
    exit 1
fi

# command_file NAME STATUS EXPECTED-OUTPUT ARGV...: a command file for measure.py.
command_file() {
    local name=$1 status=$2 expected=$3
    shift 3
    python3 -c 'import json, sys
print(json.dumps({"argv": sys.argv[3:], "expect_status": int(sys.argv[1]),
                  "expect_output": sys.argv[2]}))' "$status" "$expected" "$@" \
        >"$scratch/$name.json"
}
# The curl command, with the certificate that CorvanePing pinned as its only trust.
curl_to() {
    curl_argv=(curl -s -o /dev/null --cacert "$pem" -H "Authorization: Bearer $token"
               "https://127.0.0.1:$1/ping")
}

curl_to "$port"
timeout 30 "${curl_argv[@]}"  # warms the page cache like the pinning run did

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
     "$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
echo "build: $build ($(grep -m1 '^CMAKE_BUILD_TYPE:' "$build/CMakeCache.txt" | cut -d= -f2))"
echo "server: openssl s_server -www on 127.0.0.1:$port; $runs alternating runs of each"
echo

command_file ping 0 'Last error code: 0x00000000' "$agent/bin/CorvanePing"
command_file curl 0 '' "${curl_argv[@]}"
echo "== one ping answered by the server"
python3 "$here/measure.py" --json "$scratch/ping-summary.json" "$runs" \
    "CorvanePing=$scratch/ping.json" "curl=$scratch/curl.json"
python3 - "$scratch/ping-summary.json" <<'EOF'
import json, sys
ratios = json.load(open(sys.argv[1]))["ratios"]["CorvanePing"]
for what, limit in (("wall", 1.0), ("rss", 1.2)):
    verdict = "met" if ratios[what] <= limit else "NOT met"
    print(f"target {what} <= {limit:.1f} x curl: {verdict} ({ratios[what]:.2f})")
EOF
echo

refused=$(free_port)
write_install_config "$refused"
curl_to "$refused"
command_file ping-refused 0 'Last error code: 0x00000007' "$agent/bin/CorvanePing"
command_file curl-refused 7 '' "${curl_argv[@]}"
echo "== connection refused (127.0.0.1:$refused)"
python3 "$here/measure.py" "$runs" "CorvanePing=$scratch/ping-refused.json" \
    "curl=$scratch/curl-refused.json"
echo

command_file help 253 'Usage: CorvanePing' "$agent/bin/CorvanePing" -h
command_file true 0 '' /bin/true
echo "== start-up alone: CorvanePing -h, and /bin/true for the cost of any process here"
python3 "$here/measure.py" "$runs" "CorvanePing -h=$scratch/help.json" \
    "/bin/true=$scratch/true.json"
