#!/usr/bin/env bash
# CorvanePing against curl: the same single HTTPS request to the same local server.
#
#   bash bench/bench.sh [BUILD_DIR] [RUNS] [OTHER_BUILD_DIR...]
#
# BUILD_DIR (default <repo>/build-release) is built when needed; a folder that is not a
# configured build becomes the release build (scripts/build-release.sh). The build is
# installed into a scratch agent installation; `openssl s_server -www` serves a fresh
# self-signed certificate on 127.0.0.1; one run of CorvanePing pins that certificate;
# then RUNS (default 30) alternating runs of CorvanePing and of curl are timed, first
# against the server, then against a port where nothing listens. Each OTHER_BUILD_DIR (a
# configured build, for example the developer build) is installed beside it with the same
# pinned certificate and timed in the same rounds, so that two builds compare in one
# run. bench/README.md says what the figures mean.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build-release}
runs=${2:-30}
others=("${@:3}")
token="bench-token-0123456789abcdef"

if ! [[ $runs =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: bash bench/bench.sh [BUILD_DIR] [RUNS] [OTHER_BUILD_DIR...]" >&2
    exit 2
fi
for other in "${others[@]}"; do
    [[ -f $other/CMakeCache.txt ]] || { echo "bench: $other is not a configured build" >&2; exit 2; }
done

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
    bash "$repo/scripts/build-release.sh" "$build" >/dev/null
fi
for dir in "$build" "${others[@]}"; do
    cmake --build "$dir" -j2 --target CorvanePing CommunicationAPI >/dev/null
done

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
# The other builds: agent-1, agent-2, ... and their names in the tables.
other_agents=()
other_names=()
for i in "${!others[@]}"; do
    cmake --install "${others[$i]}" --prefix "$scratch/agent-$((i + 1))" >/dev/null
    other_agents+=("$scratch/agent-$((i + 1))")
    other_names+=("CorvanePing ($(basename "${others[$i]}"))")
done
write_install_config() {
    local root
    for root in "$agent" "${other_agents[@]}"; do
        printf 'ConfigurationServer=127.0.0.1:%s\nApplicationToken=%s\n' "$1" "$token" \
            >"$root/config/install_config.txt"
    done
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
for root in "${other_agents[@]}"; do cp "$pem" "$root/config/"; done

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
for dir in "$build" "${others[@]}"; do
    type=$(grep -m1 '^CMAKE_BUILD_TYPE:' "$dir/CMakeCache.txt" | cut -d= -f2)
    echo "build: $dir (${type:-RelWithDebInfo}," \
         "$(grep -q '^CORVANE_BUNDLED_PREFIX:PATH=.' "$dir/CMakeCache.txt" &&
            echo "dependencies linked in" || echo "Debian's packages"))"
done
echo "server: openssl s_server -www on 127.0.0.1:$port; $runs alternating runs of each"
echo

# commands CASE STATUS EXPECTED: command files CASE-0 (this build), CASE-1, ... (the others)
# and their "name=file" arguments for measure.py in $measured.
commands() {
    local case=$1 status=$2 expected=$3 i
    command_file "$case-0" "$status" "$expected" "$agent/bin/CorvanePing"
    measured=("CorvanePing=$scratch/$case-0.json")
    for i in "${!other_agents[@]}"; do
        command_file "$case-$((i + 1))" "$status" "$expected" "${other_agents[$i]}/bin/CorvanePing"
        measured+=("${other_names[$i]}=$scratch/$case-$((i + 1)).json")
    done
}
# verdict SUMMARY LIMIT WHAT...: whether this build meets "WHAT <= LIMIT x curl".
verdict() {
    python3 - "$@" <<'EOF'
import json, sys
ratios = json.load(open(sys.argv[1]))["ratios"]["CorvanePing"]
limit = float(sys.argv[2])
for what in sys.argv[3:]:
    verdict = "met" if ratios[what] <= limit else "NOT met"
    print(f"target {what} <= {limit} x curl: {verdict} ({ratios[what]:.2f})")
EOF
}

commands ping 0 'Last error code: 0x00000000'
command_file curl 0 '' "${curl_argv[@]}"
echo "== one ping answered by the server"
python3 "$here/measure.py" --json "$scratch/ping-summary.json" "$runs" \
    "${measured[@]}" "curl=$scratch/curl.json"
verdict "$scratch/ping-summary.json" 0.8 wall rss
echo

refused=$(free_port)
write_install_config "$refused"
curl_to "$refused"
commands refused 0 'Last error code: 0x00000007'
command_file curl-refused 7 '' "${curl_argv[@]}"
echo "== connection refused (127.0.0.1:$refused)"
python3 "$here/measure.py" --json "$scratch/refused-summary.json" "$runs" "${measured[@]}" \
    "curl=$scratch/curl-refused.json"
verdict "$scratch/refused-summary.json" 1.0 wall
echo

command_file help 253 'Usage: CorvanePing' "$agent/bin/CorvanePing" -h
command_file true 0 '' /bin/true
echo "== start-up alone: CorvanePing -h, and /bin/true for the cost of any process here"
python3 "$here/measure.py" "$runs" "CorvanePing -h=$scratch/help.json" \
    "/bin/true=$scratch/true.json"

# The phases of one ping, where the kernel lets us set probes (root, perf, tracefs).
if [[ $(id -u) -eq 0 ]] && command -v perf >/dev/null && [[ -w /sys/kernel/tracing/uprobe_events ]]; then
    write_install_config "$port"
    curl_to "$port"
    echo
    echo "== where one answered ping's time goes: medians of $runs runs with probes (bench/phases.py)"
    python3 "$here/phases.py" "$runs" "$agent" "${curl_argv[@]}"
fi
