#!/usr/bin/env bash
# Builds the Linux release build: its dependencies from Debian's source packages first
# (scripts/deps.sh linux-x86_64, cached), linked statically into the binaries that use
# them, then the program with warnings as errors. This is the build that the .deb ships
# and that bench/ measures.
#
# Usage: scripts/build-release.sh BUILD_DIR
# Then:  cmake --install BUILD_DIR --prefix ROOT    (an agent installation)
#        ctest --test-dir BUILD_DIR                  (the end-to-end suites)
#        cpack --config BUILD_DIR/CPackConfig.cmake  (the .deb and a .tar.gz)
# Needs log4cxx's release source (CORVANE_LOG4CXX_SOURCE, see scripts/deps.sh).
set -euo pipefail

[ $# -eq 1 ] || {
    echo "usage: scripts/build-release.sh BUILD_DIR" >&2
    exit 1
}
ROOT=$(cd "$(dirname "$0")/.." && pwd -P)
mkdir -p "$1"
BUILD=$(cd "$1" && pwd -P)

bash "$ROOT/scripts/deps.sh" linux-x86_64 "$BUILD/deps"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCORVANE_BUNDLED_PREFIX="$BUILD/deps" -DCORVANE_WERROR=ON
cmake --build "$BUILD" -j "${CORVANE_JOBS:-2}"
