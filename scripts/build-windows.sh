#!/usr/bin/env bash
# Cross-builds CorvanePing for 64-bit Windows with Debian's mingw-w64: its dependencies
# first (scripts/deps.sh, cached), then the program with warnings as errors.
#
# Usage: scripts/build-windows.sh BUILD_DIR
# Then:  cmake --install BUILD_DIR --prefix ROOT    (the Windows agent installation)
#        ctest --test-dir BUILD_DIR                  (the end-to-end suites under wine)
#        cpack --config BUILD_DIR/CPackConfig.cmake  (a .zip of the installation)
# Needs log4cxx's release source (CORVANE_LOG4CXX_SOURCE, see scripts/deps.sh).
# CORVANE_SIGN_CERT and CORVANE_SIGN_KEY (PEM files) sign the installation and the .zip;
# without them both are unsigned.
set -euo pipefail

[ $# -eq 1 ] || {
    echo "usage: scripts/build-windows.sh BUILD_DIR" >&2
    exit 1
}
ROOT=$(cd "$(dirname "$0")/.." && pwd -P)
mkdir -p "$1"
BUILD=$(cd "$1" && pwd -P)

bash "$ROOT/scripts/deps.sh" windows-x86_64 "$BUILD/deps"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCORVANE_WINDOWS_PREFIX="$BUILD/deps" -DCORVANE_WERROR=ON \
    -DCORVANE_SIGN_CERT="${CORVANE_SIGN_CERT:-}" -DCORVANE_SIGN_KEY="${CORVANE_SIGN_KEY:-}"
cmake --build "$BUILD" -j "${CORVANE_JOBS:-2}"
