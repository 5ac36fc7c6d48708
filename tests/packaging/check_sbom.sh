#!/usr/bin/env bash
# Checks the bill of materials that each artifact carries (share/doc/corvaneping/
# sbom.cdx.json in the .deb, the .tar.gz or the Windows .zip): valid CycloneDX 1.5 by the
# format's own library (@cyclonedx/cyclonedx-library from npm, installed under
# BUILD_DIR/sbom-check), and listing at its version each dependency that BUILD_DIR was
# built with (as its headers in BUILD_DIR/deps declare it, read by its recipe in
# scripts/deps/), the compiler's runtime DLLs that the .zip carries, and for the .deb and
# the .tar.gz each library in the .deb's Depends as a system library. And that the license
# and notice texts travel with it: licenses/<component>/ holds some for every component
# the bill names as bundled, licenses/CorvanePing/ the project's own, and the .deb's
# /usr/share/doc/corvaneping/copyright has a paragraph for each component.
#
# Usage: tests/packaging/check_sbom.sh BUILD_DIR ARTIFACT...
# Needs node and npm. Prints one line per check and "N passed, M failed" last.
set -u

ROOT=$(cd "$(dirname "$0")/../.." && pwd -P)
if [ $# -lt 2 ] || [ ! -d "$1/deps" ]; then
    echo "usage: $0 BUILD_DIR ARTIFACT...   (a release or Windows build with its deps/)" >&2
    exit 2
fi
BUILD=$(cd "$1" && pwd -P)
shift
SBOM_PATH=share/doc/corvaneping/sbom.cdx.json
CHECKER=$BUILD/sbom-check

. "$ROOT/tests/checks.sh"

WORK=$(mktemp -d /tmp/corvane-sbom.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

if [ -f "$CHECKER/node_modules/@cyclonedx/cyclonedx-library/package.json" ] ||
    npm install --prefix "$CHECKER" --no-save --no-audit --no-fund --loglevel=error \
        @cyclonedx/cyclonedx-library@10.3.0 ajv@8 ajv-formats@3 ajv-formats-draft2019@1 >"$WORK/npm.log" 2>&1; then
    pass "@cyclonedx/cyclonedx-library installed under $CHECKER"
else
    fail "npm install @cyclonedx/cyclonedx-library"
    cat "$WORK/npm.log"
    finish
fi

header_define() {
    sed -n "s/^#[[:space:]]*define[[:space:]]\+$2[[:space:]]\+\"\?\([^\"[:space:]]*\)\"\?.*/\1/p" "$1" | head -1
}
# "bundled NAME VERSION" for each recipe built for TARGET, as its headers say.
expected_bundled() {
    local recipe THIRD_PARTY=""
    for recipe in "$ROOT"/scripts/deps/*.sh; do
        (
            set +u
            source "$recipe"
            declare -F "build_$1" >/dev/null || exit 0
            echo "bundled $(basename "$recipe" .sh) $(cd "$BUILD/deps" && built_version)"
        )
    done
    # The compiler's runtime that the .zip carries: its installed version.
    local name version
    awk -F'\t' '$5 == "runtime" { print $1 }' "$BUILD/deps/share/corvaneping-deps/components.tsv" |
        while read -r name; do
            version=$(dpkg-query -W -f='${Version}\n' "$name" | head -1)
            version=${version#*:}
            echo "bundled $name ${version%-*}"
        done
}

deb_depends=""
for artifact in "$@"; do
    label=$(basename "$artifact")
    sbom=$WORK/$label.json
    case $artifact in
        *.deb)
            dpkg-deb --fsys-tarfile "$artifact" | tar -xO --wildcards "*/$SBOM_PATH" >"$sbom" 2>/dev/null
            deb_depends=$(dpkg-deb -f "$artifact" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//' | grep '^lib')
            target=linux-x86_64
            ;;
        *.tar.gz)
            tar -xzOf "$artifact" --wildcards "*/$SBOM_PATH" >"$sbom" 2>/dev/null
            target=linux-x86_64
            ;;
        *.zip)
            python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
name = next(n for n in z.namelist() if n.endswith(sys.argv[2]))
sys.stdout.buffer.write(z.read(name))' "$artifact" "$SBOM_PATH" >"$sbom" 2>/dev/null
            target=windows-x86_64
            ;;
        *)
            fail "$label: not a .deb, .tar.gz or .zip"
            continue
            ;;
    esac
    if [ ! -s "$sbom" ]; then
        fail "$label carries $SBOM_PATH"
        continue
    fi
    pass "$label carries $SBOM_PATH"
    expected_bundled "$target" >"$WORK/$label.expected"
    if [ "$target" = linux-x86_64 ]; then
        for package in $deb_depends; do echo "system $package"; done >>"$WORK/$label.expected"
    fi
    NODE_PATH=$CHECKER/node_modules node "$ROOT/tests/packaging/check_sbom.js" "$sbom" \
        "$WORK/$label.expected" >"$WORK/$label.out" 2>&1
    status=$?
    before=$failed
    while IFS= read -r line; do
        case $line in
            ok:*) pass "$label: ${line#ok: }" ;;
            *) fail "$label: ${line#FAILED: }" ;;
        esac
    done <"$WORK/$label.out"
    [ "$status" -eq 0 ] || [ "$failed" -gt "$before" ] || fail "$label: the checker ended with $status"

    # The license texts of what the bill names as bundled.
    case $artifact in
        *.deb) dpkg-deb -c "$artifact" | awk '{print $NF}' ;;
        *.tar.gz) tar -tzf "$artifact" ;;
        *.zip) python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$artifact" ;;
    esac >"$WORK/$label.files"
    python3 -c 'import json, sys
for c in json.load(open(sys.argv[1]))["components"]:
    if {"name": "corvaneping:linkage", "value": "bundled"} in c.get("properties", []):
        print(c["name"])' "$sbom" >"$WORK/$label.bundled"
    for component in CorvanePing $(cat "$WORK/$label.bundled"); do
        check "$label: carries the license texts of $component" \
            grep -Eq "(^|/)licenses/$component/[^/]+\$" "$WORK/$label.files"
    done
    if [ "${artifact##*.}" = deb ]; then
        dpkg-deb --fsys-tarfile "$artifact" |
            tar -xO ./usr/share/doc/corvaneping/copyright >"$WORK/copyright" 2>/dev/null
        for component in $(cat "$WORK/$label.bundled"); do
            check "$label: its copyright file has a paragraph for $component" \
                grep -qx "Files: licenses/$component/\*" "$WORK/copyright"
        done
    fi
done
finish
