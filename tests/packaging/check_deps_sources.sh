#!/usr/bin/env bash
# Plays a tampered dependency cache against scripts/deps.sh linux-x86_64 (built once
# before, so that every dependency is cached): a changed byte in a cached source tarball
# is fetched again from the mirror before anything could read it; a cache that others may
# write to, or that belongs to another user, is refused, and so is one whose parent folder
# is another user's or others may write to.
#
# Usage: tests/packaging/check_deps_sources.sh   (the cache: CORVANE_DEPS_CACHE, as for
#        scripts/deps.sh). Prints one line per check and "N passed, M failed" last.
set -u

ROOT=$(cd "$(dirname "$0")/../.." && pwd -P)
CACHE=${CORVANE_DEPS_CACHE:-$HOME/.cache/corvaneping}
TARBALL=$CACHE/sources/pugixml/pugixml_1.13.orig.tar.gz

. "$ROOT/tests/checks.sh"

WORK=$(mktemp -d /tmp/corvane-deps.XXXXXX)
mode=$(stat -c %a "$CACHE")
owner=$(stat -c %u:%g "$CACHE")
PARENT=$(dirname "$(realpath "$CACHE")")
parent_mode=$(stat -c %a "$PARENT")
parent_owner=$(stat -c %u:%g "$PARENT")
restore() {
    chown "$owner" "$CACHE"
    chmod "$mode" "$CACHE"
    chown "$parent_owner" "$PARENT"
    chmod "$parent_mode" "$PARENT"
    rm -rf "$WORK"
}
trap restore EXIT
deps() { bash "$ROOT/scripts/deps.sh" linux-x86_64 "$WORK/prefix" >"$WORK/deps.log" 2>&1; }

if [ ! -f "$TARBALL" ]; then
    fail "no $TARBALL: build the release build first"
else
    good=$(sha256sum <"$TARBALL")
    printf 'X' | dd of="$TARBALL" bs=1 seek=4096 conv=notrunc status=none
    if deps && [ "$(sha256sum <"$TARBALL")" = "$good" ] && grep -q '^deps: pugixml 1.13: cached' "$WORK/deps.log"; then
        pass "a changed byte in a cached source is fetched again, nothing rebuilt"
    else
        fail "a changed byte in a cached source is fetched again, nothing rebuilt"
        tail -5 "$WORK/deps.log"
    fi
fi

chmod o+w "$CACHE"
if ! deps && grep -q 'may be written by others' "$WORK/deps.log"; then
    pass "a cache that others may write to is refused"
else
    fail "a cache that others may write to is refused"
fi
chmod "$mode" "$CACHE"

chmod o+w "$PARENT"
if ! deps && grep -q "$PARENT, a parent of .* may be written by others" "$WORK/deps.log"; then
    pass "a cache whose parent others may write to is refused"
else
    fail "a cache whose parent others may write to is refused"
fi
chmod +t "$PARENT"
if deps; then
    pass "a parent that others may write to but that is sticky is taken"
else
    fail "a parent that others may write to but that is sticky is taken"
    tail -3 "$WORK/deps.log"
fi
chmod "$parent_mode" "$PARENT"

if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$PARENT"
    if ! deps && grep -q "$PARENT, a parent of .* belongs to another user" "$WORK/deps.log"; then
        pass "a cache whose parent belongs to another user is refused"
    else
        fail "a cache whose parent belongs to another user is refused"
    fi
    chown "$parent_owner" "$PARENT"
    chown nobody "$CACHE"
    if ! deps && grep -q 'belongs to another user' "$WORK/deps.log"; then
        pass "a cache that belongs to another user is refused"
    else
        fail "a cache that belongs to another user is refused"
    fi
    chown "$owner" "$CACHE"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
