#!/usr/bin/env bash
# Builds the packages of BUILD_DIR with cpack and checks them: the .deb's control data and
# layout, the .tar.gz's layout, then the .deb installed with apt-get under /opt/corvane:
# its files, its libraries, the agent's account and group, "CorvanePing -h" and one full
# run, as a member of the group and not root, against a local HTTPS configuration server
# (tests/e2e/config_server.py on 127.0.0.1). The package is removed (the certificate and
# the log stay) and purged (they go) at the end, and every file the checks wrote under
# /opt/corvane goes; so do the account and group if they were not there before.
#
# Usage: tests/packaging/check_deb.sh BUILD_DIR
# Needs root (or password-less sudo) for apt-get, and python3 and openssl for the server.
# Refuses to run while a corvaneping package is installed. Prints one line per check and
# "N passed, M failed" last; exits 1 when a check failed.
set -u

ROOT=$(cd "$(dirname "$0")/../.." && pwd -P)
if [ $# -ne 1 ] || [ ! -f "$1/CPackConfig.cmake" ]; then
    echo "usage: $0 BUILD_DIR   (a configured build tree of $ROOT)" >&2
    exit 2
fi
BUILD=$(cd "$1" && pwd -P)
PREFIX=/opt/corvane
PACKAGE=corvaneping
ACCOUNT=corvane
TOKEN=pkg-check-token-5d2e91==
USAGE="Usage: CorvanePing [options]
 There are no actual options for the program; it validates the current configuration (including logging levels, which may or may not be helpful).
"
# libcurl would send the ping through a proxy named here.
unset https_proxy HTTPS_PROXY http_proxy HTTP_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
export DEBIAN_FRONTEND=noninteractive

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO="sudo -n"

. "$ROOT/tests/checks.sh"
logged() { # logged NAME COMMAND...: like check; shows COMMAND's output only when it fails
    local name=$1
    shift
    if "$@" >"$WORK/step.log" 2>&1; then
        pass "$name"
    else
        fail "$name"
        sed 's/^/    | /' "$WORK/step.log" | tail -n 40
    fi
}

installed() { dpkg-query -W -f='${Status}' "$PACKAGE" 2>/dev/null | grep -q 'install ok installed'; }
known_to_dpkg() { dpkg-query -W "$PACKAGE" >/dev/null 2>&1; }

if installed; then
    fail "a $PACKAGE package is installed already; remove it before running these checks"
    finish
fi

WORK=$(mktemp -d /tmp/corvane-pkg.XXXXXX)
SERVER_PID=
ROOT_EXISTED=false
[ -e "$PREFIX" ] && ROOT_EXISTED=true
ACCOUNT_EXISTED=false
getent passwd "$ACCOUNT" >/dev/null && ACCOUNT_EXISTED=true
GROUP_EXISTED=false
getent group "$ACCOUNT" >/dev/null && GROUP_EXISTED=true
# Files of an installation that was there before; put back at the end.
SAVED_FILES=(config/install_config.txt config/ConfigurationServer.PEM)
for file in "${SAVED_FILES[@]}"; do
    [ -f "$PREFIX/$file" ] && mkdir -p "$WORK/saved/$(dirname "$file")" &&
        cp -p "$PREFIX/$file" "$WORK/saved/$file"
done

cleanup() {
    if [ -n "$SERVER_PID" ]; then
        kill "$SERVER_PID" 2>/dev/null
        wait "$SERVER_PID" 2>/dev/null
    fi
    if known_to_dpkg; then
        timeout 300 $SUDO apt-get purge -y -qq "$PACKAGE" >/dev/null 2>&1 ||
            echo "WARNING: could not purge $PACKAGE; remove it by hand" >&2
    fi
    [ "$ACCOUNT_EXISTED" = true ] || $SUDO userdel "$ACCOUNT" >/dev/null 2>&1
    [ "$GROUP_EXISTED" = true ] || $SUDO groupdel "$ACCOUNT" >/dev/null 2>&1
    if [ "$ROOT_EXISTED" = false ]; then
        $SUDO rm -rf "$PREFIX"
    else
        for file in "${SAVED_FILES[@]}"; do
            if [ -f "$WORK/saved/$file" ]; then
                $SUDO cp -p "$WORK/saved/$file" "$PREFIX/$file"
            else
                $SUDO rm -f "$PREFIX/$file"
            fi
        done
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# --- Building the packages -------------------------------------------------------------

logged "build $BUILD" timeout 1800 cmake --build "$BUILD" -j2
OUT="$WORK/packages"
logged "cpack" timeout 600 cpack --config "$BUILD/CPackConfig.cmake" -B "$OUT"
DEB=$(ls "$OUT"/${PACKAGE}_*.deb 2>/dev/null | head -n 1)
TGZ=$(ls "$OUT"/${PACKAGE}-*.tar.gz 2>/dev/null | head -n 1)
check "a .deb was made" test -f "$DEB"
check "a .tar.gz was made" test -f "$TGZ"
[ "$failed" -eq 0 ] || finish

# --- The .deb before installing ---------------------------------------------------------

check "deb: package name" test "$(dpkg-deb -f "$DEB" Package)" = "$PACKAGE"
depends=$(dpkg-deb -f "$DEB" Depends)
# The release build links ACE, log4cxx, libcurl, pugixml and Boost.Program_options in;
# only OpenSSL stays the system's. The developer build depends on Debian's packages.
bundled=(libace-7.0.8 libboost-program-options1.74.0 libcurl4 liblog4cxx15 libpugixml1v5)
if grep -q '^CORVANE_BUNDLED_PREFIX:PATH=.' "$BUILD/CMakeCache.txt"; then
    for library in "${bundled[@]}"; do
        check "deb: does not depend on $library" bash -c '! grep -Eq "(^|, )$1( |,|$)" <<<"$2"' _ "$library" "$depends"
    done
    bundled=()
fi
for library in "${bundled[@]}" libssl3; do
    check "deb: depends on $library" grep -Eq "(^|, )$library( |,|$)" <<<"$depends"
done
dpkg-deb -c "$DEB" | awk '{print $NF}' | sort >"$WORK/deb.list"
for entry in ./opt/corvane/bin/CorvanePing ./opt/corvane/bin/libCorvaneCommon.so \
             ./opt/corvane/bin/libCommunicationAPI.so ./opt/corvane/share/corvaneping/logconfig.xml \
             ./opt/corvane/log/ ./usr/share/doc/corvaneping/copyright \
             ./usr/share/doc/corvaneping/changelog.gz; do
    check "deb: holds $entry" grep -qx -- "$entry" "$WORK/deb.list"
done
dpkg-deb -e "$DEB" "$WORK/control"
# dpkg keeps conffiles only under /etc; the postinst keeps an operator's logconfig.xml.
check "deb: no conffile" test ! -s "$WORK/control/conffiles"
# Debian's own checker finds nothing but the two tags the design calls for, overridden.
lintian --fail-on error,warning "$DEB" >"$WORK/lintian.out" 2>&1
check "deb: lintian finds no error or warning" sh -c "! grep -E '^(E|W): ' '$WORK/lintian.out'"
cat "$WORK/lintian.out"

# --- The .tar.gz: the same layout, usable where it is unpacked --------------------------

top=$(basename "$TGZ" .tar.gz)
tar tzf "$TGZ" | sed 's|/$||' | sort >"$WORK/tgz.list"
for entry in bin/CorvanePing bin/libCorvaneCommon.so bin/libCommunicationAPI.so \
             config/logconfig.xml log; do
    check "tgz: holds $top/$entry" grep -qx -- "$top/$entry" "$WORK/tgz.list"
done
mkdir -p "$WORK/unpacked"
tar xzf "$TGZ" -C "$WORK/unpacked"
timeout 60 "$WORK/unpacked/$top/bin/CorvanePing" -h >"$WORK/tgz-help.out" 2>&1
check "tgz: unpacked CorvanePing -h ends with 253" test $? -eq 253

# --- Installing -------------------------------------------------------------------------

# apt-get wants a path with a slash to take a file instead of a package name.
logged "apt-get install ./$(basename "$DEB")" \
    sh -c "cd '$OUT' && timeout 600 $SUDO apt-get install -y './$(basename "$DEB")'"
installed || finish
check "installed: dpkg knows the package" installed
check "installed: CorvanePing is executable" test -x "$PREFIX/bin/CorvanePing"
check "installed: the agent's library" test -f "$PREFIX/bin/libCorvaneCommon.so"
check "installed: the communication module" test -f "$PREFIX/bin/libCommunicationAPI.so"
check "installed: config/logconfig.xml" cmp -s "$PREFIX/config/logconfig.xml" "$ROOT/config/logconfig.xml"
check "installed: config/logconfig.xml is root:root 644" \
    test "$(stat -c '%U:%G %a' "$PREFIX/config/logconfig.xml")" = "root:root 644"
# An operator's change to logconfig.xml survives a new installation of the package.
echo "<!-- the operator's -->" | $SUDO tee -a "$PREFIX/config/logconfig.xml" >/dev/null
cp "$PREFIX/config/logconfig.xml" "$WORK/logconfig.operator"
logged "apt-get install --reinstall" \
    sh -c "cd '$OUT' && timeout 600 $SUDO apt-get install -y --reinstall './$(basename "$DEB")'"
check "reinstalled: the operator's logconfig.xml is kept" \
    cmp -s "$PREFIX/config/logconfig.xml" "$WORK/logconfig.operator"
check "installed: log/ exists" test -d "$PREFIX/log"
check "installed: the system group $ACCOUNT" getent group "$ACCOUNT"
check "installed: the system account $ACCOUNT" \
    sh -c "[ \"\$(getent passwd $ACCOUNT | cut -d: -f4)\" = \"\$(getent group $ACCOUNT | cut -d: -f3)\" ] &&
           [ \"\$(id -u $ACCOUNT)\" -lt 1000 ]"
check "installed: config/ is root:$ACCOUNT 3770" \
    test "$(stat -c '%U:%G %a' "$PREFIX/config")" = "root:$ACCOUNT 3770"
check "installed: log/ is $ACCOUNT:$ACCOUNT 3770" \
    test "$(stat -c '%U:%G %a' "$PREFIX/log")" = "$ACCOUNT:$ACCOUNT 3770"
# Made before the group may write config/, so that no member can choose the server.
check "installed: config/install_config.txt is root:$ACCOUNT 640, empty" \
    test "$(stat -c '%U:%G %a %s' "$PREFIX/config/install_config.txt")" = "root:$ACCOUNT 640 0"
# The fix-up of old logs follows no link a member could swap in while it runs: the
# folders are closed to the group before it, and opened again after it.
steps=$(grep -nE 'chmod 0755|for log in "\$ROOT"/log/|chmod 3770 "\$ROOT/log"' "$WORK/control/postinst" | cut -d: -f1 | tr '\n' ' ')
check "postinst: closes the folders, fixes up the logs, then opens log/ (lines $steps)" \
    sh -c 'set -- $1; [ $# -eq 3 ] && [ "$1" -lt "$2" ] && [ "$2" -lt "$3" ]' _ "$steps"
for binary in CorvanePing libCorvaneCommon.so libCommunicationAPI.so; do
    check "installed: every library of $binary is found" \
        sh -c "ldd '$PREFIX/bin/$binary' >'$WORK/ldd.out' 2>&1 && ! grep -q 'not found' '$WORK/ldd.out'"
done

# --- Help -------------------------------------------------------------------------------

(cd / && timeout 60 "$PREFIX/bin/CorvanePing" -h >"$WORK/help.out" 2>"$WORK/help.err")
status=$?
check "-h: exit status 253" test "$status" -eq 253
printf '%s' "$USAGE" >"$WORK/help.expected"
check "-h: the usage text on standard output" cmp -s "$WORK/help.out" "$WORK/help.expected"
check "-h: nothing on standard error" test ! -s "$WORK/help.err"

# --- One full run against a local HTTPS configuration server ----------------------------

run_against_server() {
    if ! timeout 60 openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
            -days 2 -subj /CN=localhost -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
            -keyout "$WORK/server.key" -out "$WORK/server.crt" >/dev/null 2>&1; then
        fail "run: server certificate made with openssl"
        return
    fi
    python3 "$ROOT/tests/e2e/config_server.py" --cert "$WORK/server.crt" --key "$WORK/server.key" \
        --port-file "$WORK/port" --record "$WORK/requests.jsonl" --mode status:200 \
        </dev/null >"$WORK/server.log" 2>&1 &
    SERVER_PID=$!
    for _ in $(seq 100); do
        [ -s "$WORK/port" ] && break
        sleep 0.1
    done
    if [ ! -s "$WORK/port" ]; then
        fail "run: configuration server started ($(cat "$WORK/server.log"))"
        return
    fi
    local port
    port=$(cat "$WORK/port")
    local address="127.0.0.1:$port"

    printf 'ConfigurationServer=%s\nApplicationToken=%s\n' "$address" "$TOKEN" |
        $SUDO tee "$PREFIX/config/install_config.txt" >/dev/null
    $SUDO rm -f "$PREFIX/config/ConfigurationServer.PEM"

    # Not root: nobody, once without and once with the group.
    local as_nobody="$SUDO setpriv --reuid=nobody --regid=nogroup --clear-groups"
    (cd / && timeout 60 $as_nobody "$PREFIX/bin/CorvanePing" >/dev/null 2>&1 </dev/null)
    check "run: outside the group the configuration cannot be read (254)" test $? -eq 254
    local as_member="$SUDO setpriv --reuid=nobody --regid=nogroup --groups=$ACCOUNT"
    (cd / && timeout 60 $as_member "$PREFIX/bin/CorvanePing" >"$WORK/run.out" 2>"$WORK/run.err" </dev/null)
    local status=$?
    check "run: exit status 0" test "$status" -eq 0
    check "run: nothing on standard error" test ! -s "$WORK/run.err"
    printf '\n\nCorvane pinging with config/install_config.txt parameters:\n%s\n%s\n\n%s\n%s\n%s\n%s\n' \
        "ApplicationToken = $TOKEN" "ConfigurationServer = $address" \
        "Certificate file config/ConfigurationServer.PEM existence: Before pinging: false After pinging: true" \
        "Last response code: 0x000000c8" "Last error code: 0x00000000" \
        "Last error message: " >"$WORK/run.expected"
    if cmp -s "$WORK/run.out" "$WORK/run.expected"; then
        pass "run: the report of a successful ping"
    else
        fail "run: the report of a successful ping; got:"
        sed 's/^/    | /' "$WORK/run.out"
    fi
    check "run: the server got one request" \
        test "$(grep -c '"kind": "request"' "$WORK/requests.jsonl" 2>/dev/null)" = 1
    check "run: the agent's log was written" test -s "$PREFIX/log/CorvaneCommon.log"
    check "run: the log belongs to the group and gives others nothing" \
        sh -c "stat -c '%G %A' '$PREFIX/log/CorvaneCommon.log' | grep -qx '$ACCOUNT -rw-rw----'"
    check "run: the certificate was pinned" test -s "$PREFIX/config/ConfigurationServer.PEM"
    check "run: the token is not in the log" \
        sh -c "! grep -rqF -- '$TOKEN' '$PREFIX/log'"

    # A member tries to take over root's next run.
    check "attack: a member cannot remove logconfig.xml" \
        sh -c "! $as_member rm -f '$PREFIX/config/logconfig.xml' 2>/dev/null && test -f '$PREFIX/config/logconfig.xml'"
    check "attack: a member cannot rename install_config.txt away" \
        sh -c "! $as_member mv '$PREFIX/config/install_config.txt' '$PREFIX/config/old' 2>/dev/null"
    check "attack: a member cannot write install_config.txt" \
        sh -c "! $as_member sh -c 'echo ConfigurationServer=x >>\"\$0\"' '$PREFIX/config/install_config.txt' 2>/dev/null"
    local planted=/etc/corvane-check-planted
    $SUDO rm -f "$planted"
    $as_member sh -c "rm -f '$PREFIX/log/CorvaneCommon.log' && ln -s '$planted' '$PREFIX/log/CorvaneCommon.log'"
    check "attack: a member replaced its own log with a link" test -L "$PREFIX/log/CorvaneCommon.log"
    (cd / && timeout 60 $SUDO "$PREFIX/bin/CorvanePing" >"$WORK/root.out" 2>&1 </dev/null)
    check "attack: root's run still prints its report" test $? -eq 0
    check "attack: root's run did not write through the member's link" test ! -e "$planted"
    $SUDO rm -f "$PREFIX/log/CorvaneCommon.log" "$PREFIX/config/ConfigurationServer.PEM"
    (cd / && timeout 60 $SUDO "$PREFIX/bin/CorvanePing" >/dev/null 2>&1 </dev/null)
    check "attack: root's run works as $ACCOUNT (the pin and log it writes are the account's)" \
        test "$(stat -c %U "$PREFIX/config/ConfigurationServer.PEM" "$PREFIX/log/CorvaneCommon.log" | sort -u)" = "$ACCOUNT"
    $SUDO rm -f "$planted"
    check "pin: written 0640 (the group reads it, others nothing)" \
        test "$(stat -c %a "$PREFIX/config/ConfigurationServer.PEM")" = 640

    # The server's key changes: the message says where the pin is and who may remove it,
    # and the steps in docs/troubleshooting.md ("Replacing the pinned certificate") pin
    # the new key.
    kill "$SERVER_PID" 2>/dev/null
    wait "$SERVER_PID" 2>/dev/null
    rm -f "$WORK/port"
    timeout 60 openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
        -days 2 -subj /CN=localhost -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
        -keyout "$WORK/new.key" -out "$WORK/new.crt" >/dev/null 2>&1
    python3 "$ROOT/tests/e2e/config_server.py" --cert "$WORK/new.crt" --key "$WORK/new.key" \
        --port-file "$WORK/port" --mode status:200 </dev/null >"$WORK/server.log" 2>&1 &
    SERVER_PID=$!
    for _ in $(seq 100); do
        [ -s "$WORK/port" ] && break
        sleep 0.1
    done
    printf 'ConfigurationServer=127.0.0.1:%s\nApplicationToken=%s\n' "$(cat "$WORK/port")" \
        "$TOKEN" | $SUDO tee "$PREFIX/config/install_config.txt" >/dev/null
    (cd / && timeout 60 $as_member "$PREFIX/bin/CorvanePing" >"$WORK/changed.out" 2>&1 </dev/null)
    check "pin: a changed key names the pin's path and who may remove it" \
        grep -qF "remove $PREFIX/config/ConfigurationServer.PEM (as root or as $ACCOUNT, its owner) to pin again" "$WORK/changed.out"
    check "pin: a member cannot remove the pin root's run wrote" \
        sh -c "! $as_member rm -f '$PREFIX/config/ConfigurationServer.PEM' 2>/dev/null && test -f '$PREFIX/config/ConfigurationServer.PEM'"
    $SUDO rm "$PREFIX/config/ConfigurationServer.PEM"
    (cd / && timeout 60 $as_member "$PREFIX/bin/CorvanePing" >"$WORK/repinned.out" 2>&1 </dev/null)
    check "pin: after sudo rm the next run pins the new key" \
        grep -qx "Last error code: 0x00000000" "$WORK/repinned.out"

    kill "$SERVER_PID" 2>/dev/null
    wait "$SERVER_PID" 2>/dev/null
    SERVER_PID=
}
run_against_server

# --- Removing ---------------------------------------------------------------------------

logged "apt-get remove" timeout 300 $SUDO apt-get remove -y "$PACKAGE"
check "removed: the program is gone" test ! -e "$PREFIX/bin/CorvanePing"
check "removed: logconfig.xml stays" test -f "$PREFIX/config/logconfig.xml"
check "removed: the pinned certificate stays" test -s "$PREFIX/config/ConfigurationServer.PEM"
check "removed: the log stays" test -s "$PREFIX/log/CorvaneCommon.log"
# A member leaves a folder where the purge removes files: the purge goes on and says so.
$SUDO setpriv --reuid=nobody --regid=nogroup --groups="$ACCOUNT" \
    mkdir "$PREFIX/log/CorvaneCommon.log.dir"
logged "apt-get purge, with a member's folder in log/" timeout 300 $SUDO apt-get purge -y "$PACKAGE"
check "purged: dpkg forgot the package" sh -c "! dpkg-query -W $PACKAGE >/dev/null 2>&1"
check "purged: it names what it left" grep -q "log/CorvaneCommon.log.dir" "$WORK/step.log"
check "purged: logconfig.xml is gone" test ! -e "$PREFIX/config/logconfig.xml"
check "purged: the pinned certificate is gone" test ! -e "$PREFIX/config/ConfigurationServer.PEM"
check "purged: the logs are gone, the member's folder stays" \
    sh -c "test ! -e '$PREFIX/log/CorvaneCommon.log' && test -d '$PREFIX/log/CorvaneCommon.log.dir'"
check "purged: the account stays" getent passwd "$ACCOUNT"

finish
