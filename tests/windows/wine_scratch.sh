# Sourced by the checks that run Windows programs under wine: WORK, a scratch folder with
# a wine prefix of its own, removed on exit once the prefix's processes have ended; and
# windows_path, a Linux path as the Windows programs see it. Needs WINESERVER.
WORK=$(mktemp -d /tmp/corvane-wine.XXXXXX)
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
cleanup() {
    timeout 30 "$WINESERVER" -w 2>/dev/null || timeout 10 "$WINESERVER" -k 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
windows_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
