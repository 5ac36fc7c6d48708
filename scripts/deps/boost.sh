# shellcheck shell=bash disable=SC2034  # a recipe: scripts/deps.sh reads its settings
# Boost.Program_options: the program's command line (static: only the program uses it).
DEB_SOURCE=boost1.74
SYSTEM_PACKAGE=libboost-program-options1.74.0
LICENSE=BSL-1.0
CPE="cpe:2.3:a:boost:boost:@VERSION@:*:*:*:*:*:*:*"
DESCRIPTION="Boost.Program_options and the Boost headers it needs"

boost_build() {
    unpack
    # Debian's source leaves out the build engine's generated grammar; make it as Debian does.
    (cd tools/build && bison -y -d -o src/engine/jamgram.cpp src/engine/jamgram.y)
    ./bootstrap.sh --with-libraries=program_options >&2
    echo "using gcc : cross : $CXX : <archiver>$AR <ranlib>$RANLIB ${RC:+<rc>$RC} ;" >user-config.jam
    ./b2 -j "$JOBS" -q --user-config=user-config.jam toolset=gcc-cross cxxflags="$CXXFLAGS" \
        target-os="$1" address-model=64 variant=release link=static \
        runtime-link=shared threading=multi --layout=system --with-program_options \
        --prefix="$OUT" install >&2
}

build_windows-x86_64() { boost_build windows; }
build_linux-x86_64() { boost_build linux; }

# The version that the built headers declare, read in the prefix (the bill of materials
# is checked against it).
built_version() {
    local v
    v=$(header_define include/boost/version.hpp BOOST_VERSION)
    echo "$((v / 100000)).$((v / 100 % 1000)).$((v % 100))"
}
