# shellcheck shell=bash disable=SC2034  # a recipe: scripts/deps.sh reads its settings
# APR: log4cxx's portability layer.
DEB_SOURCE=apr
SYSTEM_PACKAGE=libapr1
LICENSE=Apache-2.0
CPE="cpe:2.3:a:apache:portable_runtime:@VERSION@:*:*:*:*:*:*:*"
DESCRIPTION="Apache Portable Runtime"

build_windows-x86_64() {
    unpack
    # Its character-table generator must run here, so it is built for this machine.
    mkdir -p "$WORK/host"
    cc -O2 tools/gen_test_char.c -o "$WORK/host/gen_test_char"
    # APR's Windows code is written for MSVC's headers. With mingw-w64's, COM_NO_WINDOWS_H
    # keeps wtypes.h from pulling in OLE's headers, which fail under apr.h's NOUSER; the
    # atomic built-ins keep the Unix atomics header from asking for its 64-bit fallback.
    CFLAGS="$CFLAGS -DCOM_NO_WINDOWS_H -DHAVE_ATOMIC_BUILTINS=1 -DHAVE_ATOMIC_BUILTINS64=1" \
        cmake_build -DAPR_HOST_GEN_TEST_CHAR="$WORK/host/gen_test_char" -DINSTALL_PDB=OFF \
        -DAPR_BUILD_TESTAPR=OFF
}

# On Linux APR builds with its own configure script (its CMake build is for Windows).
build_linux-x86_64() {
    unpack
    ./configure --prefix="$OUT" --enable-static --disable-shared --with-pic
    make -j "$JOBS"
    make install
}

# The version that the built headers declare, read in the prefix (the bill of materials
# is checked against it).
built_version() {
    local h
    h=$(ls include/apr_version.h include/apr-1/apr_version.h 2>/dev/null | head -1)
    echo "$(header_define "$h" APR_MAJOR_VERSION).$(header_define "$h" APR_MINOR_VERSION).$(header_define "$h" APR_PATCH_VERSION)"
}
