#!/usr/bin/env bash
# Installs what building, running and testing CorvanePing needs, from Debian's packages.
# The first group builds and runs the program; the rest serve the tests: the sanitizer
# and fuzzing build (clang), the Windows build and its checks (mingw-w64, wine; dpkg-dev
# unpacks the dependencies' source packages, bison makes Boost's build engine, osslsigncode
# signs the binaries and verifies them), the package checks (dpkg-dev, lintian) and the real peers
# the end-to-end suites start on loopback (squid with TLS inspection, nginx, apache2,
# haproxy, dnsmasq), and ansible-core with openssh-server for the fleet playbook's test,
# which starts an sshd of its own on 127.0.0.1. Installing them starts none of their
# services here: the suites start their own with configurations of their own.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libace-dev libboost-dev libboost-program-options-dev libcurl4-openssl-dev
    liblog4cxx-dev libpugixml-dev libssl-dev python3 openssl
)
test_packages=(
    libgtest-dev clang libclang-rt-14-dev clang-format curl
    g++-mingw-w64-x86-64-posix wine64 dpkg-dev file bison osslsigncode
    squid-openssl nginx apache2-bin haproxy dnsmasq-base lintian
    ansible-core openssh-server
)

# The bill of materials is validated with the format's own library from npm; Debian's
# node and npm serve when the machine has none.
command -v npm >/dev/null || test_packages+=(nodejs npm)

[ "${1:-}" = "--tests" ] && packages+=("${test_packages[@]}")

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${packages[@]}"
