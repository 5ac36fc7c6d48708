#!/usr/bin/env bash
# Installs every dependency, builds with warnings as errors and runs every test: the unit
# and end-to-end suites, then the same suites under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== format"
clang-format --dry-run --Werror $(git ls-files '*.cpp' '*.h')

echo "== build and test"
cmake -S . -B build-ci -G Ninja -DCORVANE_WERROR=ON
cmake --build build-ci
ctest --test-dir build-ci --output-on-failure --timeout 300

echo "== build and test with sanitizers"
cmake -S . -B build-asan -G Ninja -DCORVANE_WERROR=ON -DCORVANE_SANITIZE=ON
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure --timeout 300
