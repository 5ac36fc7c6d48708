#!/usr/bin/env bash
# Cross-compiles the Windows platform layer, the installation parameter loader and the
# ping report with MinGW-w64, and runs under wine the checks
# that the end-to-end suites cannot make on the installed program
# (tests/windows/platform_check.cpp).
#
# Usage: tests/windows/run_mingw_checks.sh [BUILD_DIR]     (default: <repo>/build-mingw)
# Needs the Debian packages g++-mingw-w64-x86-64-posix, wine64 and libboost-dev.
# Prints one line per check and "N passed, M failed" last; exits 1 when a check failed.
set -u

ROOT=$(cd "$(dirname "$0")/../.." && pwd -P)
BUILD=${1:-$ROOT/build-mingw}
CXX=x86_64-w64-mingw32-g++-posix
CC=x86_64-w64-mingw32-gcc-posix
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

. "$ROOT/tests/checks.sh"

for tool in "$CXX" "$CC" "$WINE" "$WINESERVER"; do
    command -v "$tool" >/dev/null || fail "tool $tool is missing (g++-mingw-w64-x86-64-posix, wine64)"
done
[ -f /usr/include/boost/algorithm/string/split.hpp ] || fail "Boost headers are missing (libboost-dev)"
[ "$failed" -eq 0 ] || finish

# The cross-compiler must not see /usr/include (Linux's C library lives there): it gets
# a folder that holds nothing but a link to the header-only Boost.
mkdir -p "$BUILD/include" "$BUILD/obj"
ln -sfn /usr/include/boost "$BUILD/include/boost"

# The flags of cmake/Warnings.cmake with CORVANE_WERROR=ON. CORVANE_COMMON_BUILD: the
# stand-in for the agent's library is part of the test program, not a DLL.
CXXFLAGS=(-std=c++20 -O1 -municode -DCORVANE_COMMON_BUILD -I"$ROOT" -isystem "$BUILD/include"
          -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wconversion -Wsign-conversion
          -Werror)
SOURCES=(platform/console_control_win32.cpp platform/file_read_win32.cpp
         platform/file_status_win32.cpp platform/file_write_win32.cpp
         platform/process_paths_win32.cpp platform/environment_win32.cpp
         platform/native_path_win32.cpp platform/library_search_win32.cpp platform/new_file.cpp
         platform/windows_error_win32.cpp platform/name_lookup_win32.cpp
         install/install_parameters.cpp util/printable_text.cpp check/ping_report.cpp
         tests/windows/platform_check.cpp)

objects=()
for source in "${SOURCES[@]}"; do
    object="$BUILD/obj/$(basename "${source%.cpp}").o"
    if timeout 300 "$CXX" "${CXXFLAGS[@]}" -c "$ROOT/$source" -o "$object"; then
        pass "compile $source"
        objects+=("$object")
    else
        fail "compile $source"
    fi
done
[ "$failed" -eq 0 ] || finish

EXE="$BUILD/platform_check.exe"
if timeout 300 "$CXX" -static -municode "${objects[@]}" -o "$EXE"; then
    pass "link platform_check.exe"
else
    fail "link platform_check.exe"
    finish
fi

# Everything wine touches lives in one scratch folder: a fresh prefix, the checks'
# files and the program itself, copied into a folder deeper than MAX_PATH.
. "$ROOT/tests/windows/wine_scratch.sh"

DEEP="$WORK/bin"
for i in 01 02 03 04 05 06 07 08 09 10; do DEEP="$DEEP/folder_with_a_rather_long_name_$i"; done
mkdir -p "$DEEP" "$WORK/scratch/work dir"
cp "$EXE" "$DEEP/"
# A DLL where a planted one would lie: the working directory.
echo 'int corvane_planted(void) { return 1; }' |
    timeout 60 "$CC" -x c - -shared -o "$WORK/scratch/work dir/corvane_planted.dll" ||
    fail "compile corvane_planted.dll"

# wineboot returns while what it started still sets the prefix up: wait for all of it.
if timeout 120 "$WINE" wineboot --init >"$WORK/wineboot.log" 2>&1 &&
    timeout 120 "$WINESERVER" -w >>"$WORK/wineboot.log" 2>&1; then
    pass "wine prefix created"
else
    fail "wine prefix created (see wineboot output)"
    cat "$WORK/wineboot.log"
    finish
fi

# In-process checks: one ok/FAILED line each.
timeout 120 "$WINE" "$DEEP/platform_check.exe" checks "$(windows_path "$WORK/scratch")" \
    "$(windows_path "$DEEP")" >"$WORK/checks.out" 2>&1
status=$?
while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in
        ok:*) pass "${line#ok: }" ;;
        FAILED:*) fail "${line#FAILED: }" ;;
        *) echo "  $line" ;;
    esac
done <"$WORK/checks.out"
[ "$status" -eq 0 ] && pass "checks program ended with 0" || fail "checks program ended with $status"

# Console events: wine turns SIGINT into CTRL_C_EVENT for the registered handlers, on a
# thread of its own as Windows does. Runs MODE and sends it SIGINT once it is ready;
# sets event_status and event_output.
send_console_event() {
    local mode=$1 out="$WORK/$1.out" pid child=
    timeout 60 "$WINE" "$DEEP/platform_check.exe" "$mode" >"$out" 2>&1 &
    pid=$!
    for _ in $(seq 150); do
        grep -q '^ready' "$out" 2>/dev/null && break
        sleep 0.2
    done
    child=$(ps -o pid= --ppid "$pid" | tr -d ' ')
    if grep -q '^ready' "$out" && [ -n "$child" ]; then
        kill -INT "$child"
    else
        echo "  $mode: the program never became ready"
    fi
    wait "$pid"
    event_status=$?
    event_output=$(tr -d '\r' <"$out")
}

send_console_event event
if [ "$event_status" -eq 0 ] && grep -qx 'event 0' <<<"$event_output"; then
    pass "console: registered handler receives CTRL_C_EVENT"
else
    fail "console: registered handler receives CTRL_C_EVENT (status $event_status: $event_output)"
fi

finish
