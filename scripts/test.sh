#!/usr/bin/env bash
# Installs every dependency, builds with warnings as errors and runs every test:
#  1. the unit and end-to-end suites (GCC);
#  2. the same suites built with clang under AddressSanitizer and UndefinedBehaviorSanitizer,
#     then each libFuzzer target for a bounded time;
#  3. the release build (dependencies from Debian's sources, linked in; cached under
#     ~/.cache/corvaneping) and its end-to-end suites, then a tampered source cache
#     played against scripts/deps.sh;
#  4. the whole program cross-built for Windows (dependencies from source, cached likewise)
#     and signed with a throwaway certificate, its end-to-end suites run under wine, the
#     signature of every binary in its .zip verified, then the Windows platform checks that
#     the suites cannot reach;
#  5. the Debian package of the release build, installed, run and removed again;
#  6. the artifacts (.deb, .tar.gz, Windows .zip): the bill of materials in each, checked
#     against what was built, and a second build of each in another folder, which must
#     give the same bytes.
# The release and Windows builds need log4cxx's source (see scripts/deps.sh and docs/building.md).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --tests

echo "== format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== build and test"
cmake -S . -B build-ci -G Ninja -DCORVANE_WERROR=ON
cmake --build build-ci
ctest --test-dir build-ci --output-on-failure -j2

echo "== build and test with sanitizers, then fuzz"
cmake -S . -B build-sanitize -G Ninja -DCORVANE_WERROR=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCORVANE_SANITIZE=ON -DCORVANE_FUZZ=ON
cmake --build build-sanitize
# Debian's log4cxx 1.0.0 frees its rolling file appender's private data through a
# pointer to the base type, which AddressSanitizer reports at every exit. clang 14's
# __tls_get_addr interceptor takes a heap block that happens to sit 16 bytes into a page
# for a pre-2.25 glibc TLS header and crashes the leak checker's tracer on it.
ASAN_OPTIONS=new_delete_type_mismatch=0:intercept_tls_get_addr=0 ctest --test-dir build-sanitize --output-on-failure -j2
bash tests/fuzz/run_fuzzers.sh build-sanitize "${CORVANE_FUZZ_SECONDS:-45}"

echo "== release build: the dependencies built from source and linked in"
bash scripts/build-release.sh build-release
ctest --test-dir build-release --output-on-failure -j2
bash tests/packaging/check_deps_sources.sh

echo "== Windows: the program cross-built and signed, its end-to-end suites under wine"
rm -rf build-windows-signing
bash tests/windows/signing.sh make build-windows-signing
CORVANE_SIGN_CERT="$PWD/build-windows-signing/signing.pem" \
    CORVANE_SIGN_KEY="$PWD/build-windows-signing/signing.key" \
    bash scripts/build-windows.sh build-windows
ctest --test-dir build-windows --output-on-failure -j2
if [ -s build-windows/e2e-wine-reruns.txt ]; then
    echo "Runs that wine ended before the program began, made again:"
    cat build-windows/e2e-wine-reruns.txt
fi
bash tests/windows/signing.sh verify build-windows build-windows-signing/ca.pem
bash tests/windows/run_mingw_checks.sh build-mingw
bash tests/windows/check_bundled.sh build-windows

echo "== Debian package (the release build)"
bash tests/packaging/check_deb.sh build-release

echo "== artifacts: their bills of materials, and the same bytes from another folder"
for build in build-release build-windows; do
    rm -rf "$build/packages"
    cpack --config "$build/CPackConfig.cmake" -B "$build/packages" >/dev/null
done
bash tests/packaging/check_sbom.sh build-release build-release/packages/*.deb build-release/packages/*.tar.gz
bash tests/packaging/check_sbom.sh build-windows build-windows/packages/*.zip
# The second Windows build is signed as the first, with the same signing time.
CORVANE_SIGN_CERT="$PWD/build-windows-signing/signing.pem" \
    CORVANE_SIGN_KEY="$PWD/build-windows-signing/signing.key" \
    bash tests/packaging/check_reproducible.sh build-release build-windows
