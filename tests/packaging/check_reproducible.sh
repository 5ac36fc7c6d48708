#!/usr/bin/env bash
# Builds each given build once more in another folder (BUILD_DIR-again, from the same
# sources and the warm dependency cache), makes the packages of both with cpack and
# compares them byte for byte: the .deb and the .tar.gz of the release build, the .zip of
# the Windows build. Where two differ, lists the files inside that differ.
#
# Usage: tests/packaging/check_reproducible.sh BUILD_DIR...
#   (made by scripts/build-release.sh or scripts/build-windows.sh)
# Prints one line per artifact and "N passed, M failed" last.
set -u

ROOT=$(cd "$(dirname "$0")/../.." && pwd -P)
. "$ROOT/tests/checks.sh"

# The files of an artifact, unpacked into a folder, to name those that differ.
unpack() {
    mkdir -p "$2"
    case $1 in
        *.deb) dpkg-deb -R "$1" "$2" ;;
        *.tar.gz) tar -xzf "$1" -C "$2" ;;
        *.zip) python3 -m zipfile -e "$1" "$2" ;;
    esac
}

for build in "$@"; do
    build=$(cd "$build" && pwd -P)
    again=$build-again
    if grep -q '^CMAKE_TOOLCHAIN_FILE:' "$build/CMakeCache.txt"; then
        script=build-windows.sh
    else
        script=build-release.sh
    fi
    rm -rf "$again"
    if ! bash "$ROOT/scripts/$script" "$again" >"$build/again.log" 2>&1; then
        fail "$(basename "$again"): build (log: $build/again.log)"
        continue
    fi
    for dir in "$build" "$again"; do
        rm -rf "$dir/packages"
        cpack --config "$dir/CPackConfig.cmake" -B "$dir/packages" >"$dir/packages.log" 2>&1 ||
            fail "cpack in $dir (log: $dir/packages.log)"
    done
    for artifact in "$build"/packages/*.deb "$build"/packages/*.tar.gz "$build"/packages/*.zip; do
        [ -f "$artifact" ] || continue
        name=$(basename "$artifact")
        if cmp -s "$artifact" "$again/packages/$name"; then
            pass "$name: the same bytes from $(basename "$build") and $(basename "$again")"
            continue
        fi
        fail "$name differs between $(basename "$build") and $(basename "$again")"
        scratch=$(mktemp -d /tmp/corvane-repro.XXXXXX)
        unpack "$artifact" "$scratch/a" >/dev/null 2>&1
        unpack "$again/packages/$name" "$scratch/b" >/dev/null 2>&1
        diff -rq "$scratch/a" "$scratch/b" | sed 's/^/    /' | head -20
        echo "    (diffoscope, in Debian, explains each difference)"
        rm -rf "$scratch"
    done
    rm -rf "$again"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
