# shellcheck shell=bash disable=SC2034  # a recipe: scripts/deps.sh reads its settings
# OpenSSL for Windows: the upstream release of the system's libssl3, from the upstream
# tarball that Debian's source package carries (Linux keeps the system's libssl3).
DEB_SOURCE=openssl
SYSTEM_PACKAGE=libssl3
# The mirror may serve the tarball of a security release before its .dsc; Debian's changes
# are its packaging and Linux targets.
DEB_FILES=orig
LICENSE=Apache-2.0
CPE="cpe:2.3:a:openssl:openssl:@VERSION@:*:*:*:*:*:*:*"
DESCRIPTION="TLS and cryptography library"

# Where an administrator's OpenSSL keeps its configuration, engines and modules on Windows:
# only administrators may write there. The library names these folders; with the options
# below it reads none of them unless a program asks it to.
OPENSSL_WINDOWS_DIR="C:/Program Files/Common Files/SSL"

build_windows-x86_64() {
    unpack
    # Built in its own tree, so its file names are relative already; CFLAGS from the
    # environment would replace its own optimisation flags.
    unset CFLAGS CXXFLAGS
    # Libraries only. No automatic loading of a configuration file and no engines: a
    # configuration file could name any DLL to load.
    ./Configure mingw64 shared no-tests no-engine no-autoload-config --prefix="$OUT" --libdir=lib \
        --cross-compile-prefix="$HOST-" CC="${CC#"$HOST-"}" CXX="${CXX#"$HOST-"}"
    # The folders compiled into the library: the installation prefix would otherwise name
    # the build machine's cache, which on Windows any user may create.
    local dirs=(OPENSSLDIR="$OPENSSL_WINDOWS_DIR" ENGINESDIR="$OPENSSL_WINDOWS_DIR/engines-3"
                MODULESDIR="$OPENSSL_WINDOWS_DIR/ossl-modules")
    make -j "$JOBS" build_libs "${dirs[@]}"
    make install_dev "${dirs[@]}"
}

# The version that the built headers declare, read in the prefix (the bill of materials
# is checked against it).
built_version() {
    header_define include/openssl/opensslv.h OPENSSL_VERSION_STR
}
