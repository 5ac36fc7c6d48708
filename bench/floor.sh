#!/usr/bin/env bash
# What loading the libraries alone costs: empty programs (`int main() { return 0; }`)
# linked against them, timed like bench.sh times CorvanePing and curl. No run of
# CorvanePing can be cheaper than the program linked against its own two libraries.
#
#   bash bench/floor.sh [RUNS] [BUILD_DIR]
#
# BUILD_DIR (default <repo>/build-release) is a built release build, whose
# libCorvaneCommon.so and libCommunicationAPI.so hold the static dependencies. Beside
# them: libstdc++, OpenSSL, and the libraries of Debian's packages that the developer
# build and the curl command load (libcurl; "agent libs": log4cxx, ACE,
# Boost.Program_options, pugixml), each when it is installed.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
runs=${1:-30}
build=$(cd "${2:-$(dirname "$here")/build-release}" && pwd)
if ! [[ $runs =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: bash bench/floor.sh [RUNS] [BUILD_DIR]" >&2
    exit 2
fi
[[ -x /usr/bin/time ]] || { echo "floor: /usr/bin/time is missing (apt-get install time)" >&2; exit 2; }
for library in libCorvaneCommon.so libCommunicationAPI.so; do
    [[ -f $build/bin/$library ]] || { echo "floor: no $build/bin/$library: build it first" >&2; exit 2; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvane-floor-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

echo 'int main() { return 0; }' >"$scratch/empty.cpp"
measured=()
# link NAME LIBRARY...: the empty program, loading the libraries although it calls none
# of them (--no-as-needed).
link() {
    local name=$1
    shift
    g++ -O2 "$scratch/empty.cpp" -o "$scratch/$name" -Wl,--no-as-needed "$@" 2>/dev/null || return 0
    python3 -c 'import json, sys; print(json.dumps({"argv": [sys.argv[1]]}))' \
        "$scratch/$name" >"$scratch/$name.json"
    measured+=("$name=$scratch/$name.json")
}
release=(-L"$build/bin" -Wl,-rpath,"$build/bin")
link libstdc++
link "libssl+libcrypto" -lssl -lcrypto
link "libcurl (Debian)" -lcurl
link "agent libs (Debian)" -llog4cxx -lACE -lboost_program_options -lpugixml
link "both (Debian)" -llog4cxx -lACE -lboost_program_options -lpugixml -lcurl
link "CorvaneCommon (release)" "${release[@]}" -lCorvaneCommon
link "both (release)" "${release[@]}" -lCorvaneCommon "$build/bin/libCommunicationAPI.so"
python3 -c 'import json; print(json.dumps({"argv": ["/bin/true"]}))' >"$scratch/true.json"

echo "== empty programs: the cost of loading the libraries alone ($runs runs each)"
python3 "$here/measure.py" "$runs" "${measured[@]}" "/bin/true=$scratch/true.json"
