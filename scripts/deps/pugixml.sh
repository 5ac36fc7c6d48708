# shellcheck shell=bash disable=SC2034  # a recipe: scripts/deps.sh reads its settings
# pugixml: the agent library's XML reader (static: only the agent's library uses it).
DEB_SOURCE=pugixml
SYSTEM_PACKAGE=libpugixml1v5
LICENSE=MIT
DESCRIPTION="XML parser"

build_windows-x86_64() {
    unpack
    cmake_build -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF
}

build_linux-x86_64() { build_windows-x86_64; }

# The version that the built headers declare, read in the prefix (the bill of materials
# is checked against it).
built_version() {
    local v
    v=$(header_define include/pugixml.hpp PUGIXML_VERSION)
    echo "$((v / 1000)).$((v / 10 % 100))"
}
