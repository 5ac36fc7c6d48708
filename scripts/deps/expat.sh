# shellcheck shell=bash disable=SC2034  # a recipe: scripts/deps.sh reads its settings
# expat: the XML parser under APR-util, which reads log4cxx's configuration file.
DEB_SOURCE=expat
SYSTEM_PACKAGE=libexpat1
LICENSE=MIT
CPE="cpe:2.3:a:libexpat_project:libexpat:@VERSION@:*:*:*:*:*:*:*"
DESCRIPTION="XML parser"

build_windows-x86_64() {
    unpack
    [ -f CMakeLists.txt ] || cd expat
    cmake_build -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
        -DEXPAT_BUILD_DOCS=OFF -DEXPAT_SHARED_LIBS="$SHARED_LIBS"
}

build_linux-x86_64() { build_windows-x86_64; }

# The version that the built headers declare, read in the prefix (the bill of materials
# is checked against it).
built_version() {
    local h=include/expat.h
    echo "$(header_define $h XML_MAJOR_VERSION).$(header_define $h XML_MINOR_VERSION).$(header_define $h XML_MICRO_VERSION)"
}
