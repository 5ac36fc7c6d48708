#!/usr/bin/env bash
# Authenticode signing of the Windows build, with a throwaway certificate.
#
#   tests/windows/signing.sh make DIR
#       Makes a test CA and a code-signing certificate it issued, valid for two days:
#       DIR/ca.pem, DIR/signing.pem (the certificate, then the CA's), DIR/signing.key.
#       Then: CORVANE_SIGN_CERT=DIR/signing.pem CORVANE_SIGN_KEY=DIR/signing.key
#             bash scripts/build-windows.sh BUILD
#   tests/windows/signing.sh verify BUILD CA_FILE
#       Packs BUILD into its .zip and checks every .exe and .dll in it with
#       `osslsigncode verify` against CA_FILE (a test certificate chains to no CA that
#       Windows trusts). Exits 1 when one is unsigned or does not verify.
set -euo pipefail

make_certificate() {
    local dir=$1
    mkdir -p "$dir"
    openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 2 -subj "/CN=CorvanePing test CA" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
        -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
    openssl req -newkey rsa:3072 -nodes -sha256 -subj "/CN=CorvanePing test signing" \
        -keyout "$dir/signing.key" -out "$dir/signing.csr" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
        >"$dir/signing.ext"
    openssl x509 -req -sha256 -days 2 -in "$dir/signing.csr" -CA "$dir/ca.pem" \
        -CAkey "$dir/ca.key" -set_serial 1 -extfile "$dir/signing.ext" \
        -out "$dir/signing.crt" 2>/dev/null
    cat "$dir/signing.crt" "$dir/ca.pem" >"$dir/signing.pem"
}

verify_package() {
    local build=$1 ca=$2 zip failed=0 count=0
    work=$(mktemp -d /tmp/corvane-signing.XXXXXX)
    trap 'rm -rf "${work:-}"' EXIT
    cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" ||
        { cat "$work/cpack.log"; exit 1; }
    zip=$(ls "$work/package"/*.zip)
    mkdir "$work/unpacked"
    (cd "$work/unpacked" && cmake -E tar xf "$zip")
    while IFS= read -r -d '' binary; do
        count=$((count + 1))
        if osslsigncode verify -CAfile "$ca" -in "$binary" >"$work/verify.log" 2>&1; then
            echo "ok: signed: ${binary#"$work/unpacked/"}"
        else
            failed=$((failed + 1))
            echo "FAILED: signed: ${binary#"$work/unpacked/"}"
            sed 's/^/  /' "$work/verify.log"
        fi
    done < <(find "$work/unpacked" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
    echo "$(basename "$zip"): $count binaries, $failed failed"
    [ "$count" -gt 0 ] && [ "$failed" -eq 0 ]
}

case "${1:-}" in
    make) make_certificate "$2" ;;
    verify) verify_package "$2" "$3" ;;
    *)
        echo "usage: tests/windows/signing.sh make DIR | verify BUILD CA_FILE" >&2
        exit 2
        ;;
esac
