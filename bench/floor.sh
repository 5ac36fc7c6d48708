#!/usr/bin/env bash
# What loading the libraries alone costs: empty programs (`int main() { return 0; }`)
# linked against libcurl, against the agent's required libraries (log4cxx, ACE,
# Boost.Program_options, pugixml) and against both, timed like bench.sh times
# CorvanePing and curl. No run of CorvanePing can be cheaper than the last of them.
#
#   bash bench/floor.sh [RUNS]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
runs=${1:-30}
if ! [[ $runs =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: bash bench/floor.sh [RUNS]" >&2
    exit 2
fi
[[ -x /usr/bin/time ]] || { echo "floor: /usr/bin/time is missing (apt-get install time)" >&2; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvane-floor-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

echo 'int main() { return 0; }' >"$scratch/empty.cpp"
# --no-as-needed: the libraries are loaded although the program calls none of them.
link() {
    local name=$1
    shift
    g++ -O2 "$scratch/empty.cpp" -o "$scratch/$name" -Wl,--no-as-needed "$@"
    python3 -c 'import json, sys; print(json.dumps({"argv": [sys.argv[1]]}))' \
        "$scratch/$name" >"$scratch/$name.json"
}
link stdcxx
link curl -lcurl
link agent -llog4cxx -lACE -lboost_program_options -lpugixml
link agent+curl -llog4cxx -lACE -lboost_program_options -lpugixml -lcurl
python3 -c 'import json; print(json.dumps({"argv": ["/bin/true"]}))' >"$scratch/true.json"

echo "== empty programs: the cost of loading the libraries alone ($runs runs each)"
python3 "$here/measure.py" "$runs" "libstdc++=$scratch/stdcxx.json" \
    "libcurl=$scratch/curl.json" "log4cxx+ACE+PO+pugixml=$scratch/agent.json" \
    "both=$scratch/agent+curl.json" "/bin/true=$scratch/true.json"
