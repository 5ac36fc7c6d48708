# shellcheck shell=bash disable=SC2034  # a recipe: scripts/deps.sh reads its settings
# log4cxx: the agent's logging, in CorvaneCommon. Debian's mirror serves its .dsc and its
# changes (security fixes among them) but not the upstream tarball; that is the Apache
# release, checked by its SHA-256, with Debian's patches applied on it.
DEB_SOURCE=log4cxx
SYSTEM_PACKAGE=liblog4cxx15
DEB_FILES=debian
DEPENDS="apr aprutil expat"
LICENSE=Apache-2.0
CPE="cpe:2.3:a:apache:log4cxx:@VERSION@:*:*:*:*:*:*:*"
DESCRIPTION="C++ logging framework"
UPSTREAM_TARBALL=${CORVANE_LOG4CXX_SOURCE:-$THIRD_PARTY/apache-log4cxx-1.0.0.tar.gz}
UPSTREAM_URL=https://archive.apache.org/dist/logging/log4cxx/1.0.0/apache-log4cxx-1.0.0.tar.gz
UPSTREAM_SHA256=f25b863d10e3f04d541f7c8cd2bed83bc710a3bdd480a8f11bb8669d0ba47376

build_windows-x86_64() {
    unpack
    # No apr-1-config or apu-1-config of this machine: APR and APR-util are found as
    # libraries in the dependency prefixes. HAS_ODBC=0: no ODBC appender, whatever headers
    # mingw-w64 has (its build looks for sqlext.h); the program logs to files.
    # LOG4CXX_CHARSET: narrow strings handed to log4cxx (file names among them) are UTF-8,
    # whatever the C library's locale; Windows' C library has no UTF-8 locale to set.
    cmake_build -DBUILD_TESTING=OFF -DHAS_ODBC=0 -DLOG4CXX_INSTALL_PDB=OFF \
        -DLOG4CXX_CHARSET=utf-8 -DAPR_CONFIG_EXECUTABLE=/nonexistent \
        -DAPR_UTIL_CONFIG_EXECUTABLE=/nonexistent
    # Its build writes liblog4cxx.pc only on Unix; the program finds log4cxx by it. The DLL
    # brings APR along, so nothing else is required.
    [ -f "$OUT/lib/pkgconfig/liblog4cxx.pc" ] || write_pc liblog4cxx "-llog4cxx"
}

build_linux-x86_64() {
    unpack
    # The static APR and APR-util of the cache, found through their config scripts;
    # strings in the locale's encoding, as in Debian's build (the program sets UTF-8).
    cmake_build -DBUILD_TESTING=OFF -DHAS_ODBC=0 \
        -DAPR_CONFIG_EXECUTABLE="$(prefix_of apr)/bin/apr-1-config" \
        -DAPR_UTIL_CONFIG_EXECUTABLE="$(prefix_of aprutil)/bin/apu-1-config"
}

# The version that the built headers declare, read in the prefix (the bill of materials
# is checked against it).
built_version() {
    local h=include/log4cxx/log4cxx.h
    echo "$(header_define $h LOG4CXX_VERSION_MAJOR).$(header_define $h LOG4CXX_VERSION_MINOR).$(header_define $h LOG4CXX_VERSION_PATCH)"
}
