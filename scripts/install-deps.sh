#!/usr/bin/env bash
# Installs what building, running and testing CorvanePing needs, from Debian's packages.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang pkg-config
    libace-dev libboost-dev libboost-program-options-dev libcurl4-openssl-dev
    liblog4cxx-dev libpugixml-dev libssl-dev libgtest-dev
    python3 openssl curl clang-format
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${packages[@]}" "$@"
