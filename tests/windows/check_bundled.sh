#!/usr/bin/env bash
# Checks the Windows installation of BUILD_DIR as the .zip ships it (installed, stripped):
#  - no shipped binary names a folder of the build machine (its cache, the checkout, the
#    build folder, /root, /home, /tmp);
#  - log4cxx is built without its ODBC appender, and no DLL loads ODBC;
#  - OpenSSL is the upstream release of the system's libssl3, and the folders compiled
#    into libcrypto (configuration, engines, modules) lie under C:/Program Files/Common
#    Files/SSL, where only administrators write;
#  - with OPENSSL_CONF naming a planted configuration file that loads a DLL, a libcurl
#    transfer loads nothing (the control: the same file, loaded on purpose, does).
#
# Usage: tests/windows/check_bundled.sh BUILD_DIR   (a build of scripts/build-windows.sh)
# Needs g++-mingw-w64-x86-64-posix, wine64 and dpkg-query. Prints one line per check and
# "N passed, M failed" last; exits 1 when a check failed.
set -u

ROOT=$(cd "$(dirname "$0")/../.." && pwd -P)
if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
    echo "usage: $0 BUILD_DIR   (a Windows build tree of $ROOT)" >&2
    exit 2
fi
BUILD=$(cd "$1" && pwd -P)
DEPS=$BUILD/deps
CXX=x86_64-w64-mingw32-g++-posix
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
# OpenSSL's own default on Windows, writable only by administrators.
ADMIN_SSL_DIR="C:/Program Files/Common Files/SSL"

. "$ROOT/tests/checks.sh"

. "$ROOT/tests/windows/wine_scratch.sh"

if ! cmake --install "$BUILD" --prefix "$WORK/install" --strip >"$WORK/install.log" 2>&1; then
    fail "install $BUILD"
    cat "$WORK/install.log"
    finish
fi
BIN=$WORK/install/bin

# Folders of the build machine, in ASCII or UTF-16 strings of any shipped binary.
cache=$(readlink -f "$DEPS")
for binary in "$BIN"/*.exe "$BIN"/*.dll; do
    found=$({ strings -a "$binary"; strings -a -e l "$binary"; } |
        grep -F -e /root/ -e /home/ -e /tmp/ -e /.cache/ -e "$ROOT/" -e "$BUILD/" -e "${cache%/*}" | head -3)
    if [ -z "$found" ]; then
        pass "$(basename "$binary") names no folder of the build machine"
    else
        fail "$(basename "$binary") names folders of the build machine: $(echo "$found" | tr '\n' ' ')"
    fi
done

odbc=$(for binary in "$BIN"/*.dll "$BIN"/*.exe; do
    x86_64-w64-mingw32-objdump -p "$binary" | grep -qi 'DLL Name: odbc32.dll' && basename "$binary"
done)
[ -z "$odbc" ] && pass "no shipped binary loads odbc32.dll" || fail "loads odbc32.dll: $odbc"
if grep -q '^#define LOG4CXX_HAVE_ODBC 0' "$DEPS/include/log4cxx/private/log4cxx_private.h"; then
    pass "log4cxx is built without its ODBC appender"
else
    fail "log4cxx is built without its ODBC appender (log4cxx_private.h)"
fi

for dll in libcrypto-3-x64.dll libssl-3-x64.dll libcurl.dll; do
    [ -f "$BIN/$dll" ] || fail "$dll is shipped"
done
[ "$failed" -eq 0 ] || finish

if timeout 300 "$CXX" -O1 -I"$DEPS/include" "$ROOT/tests/windows/openssl_check.cpp" \
    -L"$DEPS/lib" -lcurl -lcrypto -o "$BIN/openssl_check.exe" &&
    timeout 300 "$CXX" -O1 -shared "$ROOT/tests/windows/marker_dll.cpp" -o "$WORK/marker.dll"; then
    pass "build the OpenSSL check and the marker DLL"
else
    fail "build the OpenSSL check and the marker DLL"
    finish
fi
if ! timeout 120 "$WINE" wineboot --init >"$WORK/wineboot.log" 2>&1; then
    fail "wine prefix created"
    finish
fi
run() { timeout 60 "$WINE" "$BIN/openssl_check.exe" "$@" 2>&1 | tr -d '\r'; }

folders=$(run folders)
system=$(dpkg-query -W -f='${Version}\n' libssl3 | head -1)
system=${system#*:}
system=${system%-*}
if grep -qx "version $system" <<<"$folders"; then
    pass "OpenSSL is $system, the system's libssl3 release"
else
    fail "OpenSSL is the system's libssl3 release $system: $(head -1 <<<"$folders")"
fi
for folder in OPENSSLDIR ENGINESDIR MODULESDIR; do
    line=$(grep "^$folder: " <<<"$folders")
    if [[ "$line" == "$folder: N/A" || "$line" == "$folder: \"$ADMIN_SSL_DIR"\" ||
        "$line" == "$folder: \"$ADMIN_SSL_DIR/"*\" ]]; then
        pass "$folder is an administrators' folder ($line)"
    else
        fail "$folder is an administrators' folder: '${line:-not reported}'"
    fi
done

# A configuration file that loads the marker DLL as a provider module.
marker=$(windows_path "$WORK/marker.dll")
cat >"$WORK/planted.cnf" <<CNF
openssl_conf = planted
[planted]
providers = planted_providers
[planted_providers]
marker = marker_section
[marker_section]
module = ${marker//\\/\\\\}
activate = 1
CNF
result=$(OPENSSL_CONF=$(windows_path "$WORK/planted.cnf") run ping https://127.0.0.1:1/)
if [ ! -e "$WORK/marker.dll.loaded" ] && grep -q '^curl ' <<<"$result"; then
    pass "libcurl and OpenSSL load no configuration file of their own ($result)"
else
    fail "libcurl and OpenSSL load no configuration file of their own ($result; marker $(ls "$WORK"/marker.dll.loaded 2>&1))"
fi
rm -f "$WORK/marker.dll.loaded"
result=$(run load "$(windows_path "$WORK/planted.cnf")")
if [ -e "$WORK/marker.dll.loaded" ]; then
    pass "control: the planted file, loaded on purpose, loads the DLL ($result)"
else
    fail "control: the planted file, loaded on purpose, loads the DLL ($result)"
fi

finish
