#!/usr/bin/env bash
# Builds CorvanePing's dependencies from Debian's source packages, the same versions that
# the developer build takes from Debian's packages, for one of two targets:
#
#   windows-x86_64  64-bit Windows with Debian's mingw-w64 (posix threads): ACE (with
#                   ACE_USES_WCHAR), OpenSSL, libcurl on OpenSSL, expat, APR, APR-util,
#                   log4cxx, Boost.Program_options and pugixml; DLLs where the program
#                   shares them, static archives where only one binary uses them.
#   linux-x86_64    the Linux release build: the same libraries but OpenSSL (the system's
#                   libssl3 stays, so that its security updates reach the program), each
#                   with only what the program uses, as position-independent static
#                   archives that the program's shared objects take in and hide.
#
# Usage: scripts/deps.sh TARGET PREFIX
#   PREFIX becomes a link to one folder that holds all of them (include/, lib/, and for
#   Windows bin/ with the DLLs), ready for the build: -DCORVANE_WINDOWS_PREFIX=PREFIX with
#   cmake/mingw-w64-x86_64.cmake, or -DCORVANE_BUNDLED_PREFIX=PREFIX on Linux.
#
# CORVANE_LOG4CXX_SOURCE  path of apache-log4cxx-1.0.0.tar.gz (Debian's mirror does not
#                         serve it; default: ../shared/third_party/ beside the checkout);
#                         its SHA-256 is checked.
# CORVANE_DEPS_CACHE      the cache (default ~/.cache/corvaneping).
# CORVANE_JOBS            parallel compile jobs (default 2).
#
# Each dependency is built on its own into <cache>/<target>/<name>-<version>-<key>, where
# the key hashes its version, its build step in this script, the shared steps, its
# patches (scripts/deps-patches/<name>-*.patch), the compiler and the keys of the
# dependencies it is built against. A dependency is rebuilt only when its key changes; a
# failed build leaves nothing in the cache and does not touch the others. Downloaded
# sources stay in <cache>/sources. The steps take their compilers and options from
# target_<target>; a step that differs altogether between targets is
# build_<name>_<target>.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd -P)
PATCHES=$ROOT/scripts/deps-patches
CACHE=${CORVANE_DEPS_CACHE:-$HOME/.cache/corvaneping}
JOBS=${CORVANE_JOBS:-2}
LOG4CXX_SHA256=f25b863d10e3f04d541f7c8cd2bed83bc710a3bdd480a8f11bb8669d0ba47376

# Debian source packages (name=version) and the build order; later ones build against
# the earlier ones named in DEPENDS.
declare -A SOURCE=(
    [openssl]=openssl=3.0.20-1~deb12u2
    [curl]=curl=7.88.1-10+deb12u15
    [expat]=expat=2.5.0-1+deb12u2
    [apr]=apr=1.7.2-3+deb12u1
    [aprutil]=apr-util=1.6.3-1+deb12u1
    [log4cxx]=apache-log4cxx-1.0.0.tar.gz
    [ace]=ace=7.0.8+dfsg-2
    [boost]=boost1.74=1.74.0+ds1-21
    [pugixml]=pugixml=1.13-0.2
)
ORDER=(openssl curl expat apr aprutil log4cxx ace boost pugixml)
declare -A DEPENDS=(
    [curl]="openssl"
    [aprutil]="apr expat"
    [log4cxx]="apr aprutil expat"
)

log() { echo "deps: $*" >&2; }
die() {
    log "$*"
    exit 1
}

# The compilers and tools of one target.
target_windows-x86_64() {
    HOST=x86_64-w64-mingw32
    CC=$HOST-gcc-posix
    CXX=$HOST-g++-posix
    AR=$HOST-ar
    RANLIB=$HOST-ranlib
    RC=$HOST-windres
    TOOLCHAIN=$ROOT/cmake/mingw-w64-x86_64.cmake
    OPENSSL_TARGET=mingw64
    BOOST_TARGET_OS=windows
    SHARED_LIBS=ON
}

target_linux-x86_64() {
    HOST=x86_64-linux-gnu
    CC=gcc
    CXX=g++
    AR=ar
    RANLIB=ranlib
    RC=
    TOOLCHAIN=
    BOOST_TARGET_OS=linux
    SHARED_LIBS=OFF
    # OpenSSL is the system's.
    ORDER=(curl expat apr aprutil log4cxx ace boost pugixml)
    DEPENDS[curl]=""
    # Archives that end up in shared objects: position-independent, and one section per
    # function and object, so that the link keeps only what is called.
    export CFLAGS="-O2 -fPIC -ffunction-sections -fdata-sections"
    export CXXFLAGS=$CFLAGS
}

# ---- shared steps ------------------------------------------------------------------------

# Downloads the Debian source package NAME=VERSION into the source cache, through an apt
# configuration of our own that lists the deb-src entries of the machine's Debian sources.
fetch_debian_source() {
    local wanted=$1 name=${1%%=*} version=${1#*=}
    local dsc="$CACHE/sources/${name}_${version#*:}.dsc"
    [ -f "$dsc" ] && return
    local apt
    apt=$(mktemp -d)
    mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial" "$CACHE/sources"
    : >"$apt/sources.list"
    local list
    for list in /etc/apt/sources.list.d/*.sources; do
        [ -f "$list" ] && sed 's/^Types: deb$/Types: deb-src/' "$list" >"$apt/parts/$(basename "$list")"
    done
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$apt/sources.list"
    fi
    local options=(-q -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/parts"
                   -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache"
                   -o APT::Sandbox::User=root)
    log "downloading the source package $wanted"
    apt-get "${options[@]}" update >&2 || die "apt-get update (deb-src) failed"
    (cd "$CACHE/sources" && apt-get "${options[@]}" source --download-only "$wanted" >&2) ||
        die "the mirror does not serve the source package $wanted"
    rm -rf "$apt"
}

# Unpacks the source of NAME into $WORK/src, applies its patches and enters it.
unpack() {
    local name=$1 wanted=${SOURCE[$1]}
    rm -rf "$WORK/src"
    if [ "$name" = log4cxx ]; then
        mkdir -p "$WORK/src"
        tar -xzf "$CORVANE_LOG4CXX_SOURCE" -C "$WORK/src" --strip-components=1
    else
        local package=${wanted%%=*} version=${wanted#*=}
        dpkg-source --no-check -x "$CACHE/sources/${package}_${version#*:}.dsc" "$WORK/src" >&2
    fi
    cd "$WORK/src"
    local patch
    for patch in "$PATCHES/$name"-*.patch; do
        [ -f "$patch" ] || continue
        log "$name: applying $(basename "$patch")"
        patch -p1 --forward --quiet <"$patch"
    done
}

# Configures, builds and installs the CMake project in the current folder into $OUT,
# against the prefixes of the dependencies named in DEPENDS.
cmake_build() {
    local target=(-DCMAKE_PREFIX_PATH="$DEP_PREFIXES")
    [ -z "$TOOLCHAIN" ] ||
        target=(-DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCORVANE_WINDOWS_PREFIX="$DEP_PREFIXES")
    cmake -S . -B "$WORK/build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${target[@]}" \
        -DCMAKE_INSTALL_PREFIX="$OUT" -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS="$SHARED_LIBS" \
        -DCMAKE_POSITION_INDEPENDENT_CODE=ON "$@"
    cmake --build "$WORK/build" -j "$JOBS"
    cmake --install "$WORK/build"
}

# The install prefix of an already built dependency.
prefix_of() { echo "$CACHE/$TARGET/$1-${VERSION_OF[$1]}-${KEY[$1]}"; }

# ---- one step per dependency ---------------------------------------------------------------
# Each runs in a fresh $WORK, installs into $OUT and may read $DEP_PREFIXES and prefix_of.

build_openssl() {
    unpack openssl
    # Libraries only: the command-line program and the tests are not needed.
    ./Configure "$OPENSSL_TARGET" shared no-tests --prefix="$OUT" --libdir=lib \
        --cross-compile-prefix="$HOST-" CC="${CC#"$HOST-"}" CXX="${CXX#"$HOST-"}"
    make -j "$JOBS" build_libs
    make install_dev
}

build_curl() {
    unpack curl
    # HTTPS through OpenSSL is all the ping needs; no CA bundle: the pin is the trust.
    local openssl=()
    [ -z "${DEPENDS[curl]}" ] || openssl=(-DOPENSSL_ROOT_DIR="$(prefix_of openssl)")
    cmake_build -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DHTTP_ONLY=ON -DCURL_USE_OPENSSL=ON \
        "${openssl[@]}" -DCURL_USE_LIBSSH2=OFF -DUSE_LIBIDN2=OFF -DCURL_USE_GSSAPI=OFF \
        -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF \
        -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none
}

build_expat() {
    unpack expat
    [ -f CMakeLists.txt ] || cd expat
    cmake_build -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
        -DEXPAT_BUILD_DOCS=OFF -DEXPAT_SHARED_LIBS="$SHARED_LIBS"
}

build_apr() {
    unpack apr
    # Its character-table generator must run here, so it is built for this machine.
    mkdir -p "$WORK/host"
    cc -O2 tools/gen_test_char.c -o "$WORK/host/gen_test_char"
    # APR's Windows code is written for MSVC's headers. With mingw-w64's, COM_NO_WINDOWS_H
    # keeps wtypes.h from pulling in OLE's headers, which fail under apr.h's NOUSER; the
    # atomic built-ins keep the Unix atomics header from asking for its 64-bit fallback.
    cmake_build -DCMAKE_C_FLAGS="-DCOM_NO_WINDOWS_H -DHAVE_ATOMIC_BUILTINS=1 -DHAVE_ATOMIC_BUILTINS64=1" \
        -DAPR_HOST_GEN_TEST_CHAR="$WORK/host/gen_test_char" -DINSTALL_PDB=OFF -DAPR_BUILD_TESTAPR=OFF
}

# On Linux APR builds with its own configure script (its CMake build is for Windows).
build_apr_linux-x86_64() {
    unpack apr
    ./configure --prefix="$OUT" --enable-static --disable-shared --with-pic
    make -j "$JOBS"
    make install
}

build_aprutil() {
    unpack aprutil
    local apr
    apr=$(prefix_of apr)
    # COM_NO_WINDOWS_H: as for APR.
    cmake_build -DCMAKE_C_FLAGS=-DCOM_NO_WINDOWS_H -DAPR_INCLUDE_DIR="$apr/include" \
        -DAPR_LIBRARIES="$apr/lib/liblibapr-1.dll.a" -DAPU_HAVE_CRYPTO=OFF -DAPU_HAVE_ODBC=OFF \
        -DAPR_HAS_LDAP=OFF -DINSTALL_PDB=OFF -DAPR_BUILD_TESTAPR=OFF
}

build_aprutil_linux-x86_64() {
    unpack aprutil
    # XML (for log4cxx's configuration files) through expat; none of the databases,
    # directories or crypto back ends.
    ./configure --prefix="$OUT" --with-apr="$(prefix_of apr)" --with-expat="$(prefix_of expat)" \
        --without-berkeley-db --without-gdbm --without-ndbm --without-ldap --without-sqlite2 \
        --without-sqlite3 --without-pgsql --without-mysql --without-odbc --without-oracle \
        --without-freetds --without-crypto --without-openssl --without-nss --without-commoncrypto
    make -j "$JOBS"
    make install
}

build_log4cxx() {
    unpack log4cxx
    if [ "$TARGET" = linux-x86_64 ]; then
        # The static APR and APR-util of the cache, found through their config scripts;
        # strings in the locale's encoding, as in Debian's build (the program sets UTF-8).
        cmake_build -DBUILD_TESTING=OFF -DLOG4CXX_ENABLE_ODBC=OFF \
            -DAPR_CONFIG_EXECUTABLE="$(prefix_of apr)/bin/apr-1-config" \
            -DAPR_UTIL_CONFIG_EXECUTABLE="$(prefix_of aprutil)/bin/apu-1-config"
        return
    fi
    # No apr-1-config or apu-1-config of this machine: APR and APR-util are found as
    # libraries in the dependency prefixes.
    # LOG4CXX_CHARSET: narrow strings handed to log4cxx (file names among them) are UTF-8,
    # whatever the C library's locale; Windows' C library has no UTF-8 locale to set.
    cmake_build -DBUILD_TESTING=OFF -DLOG4CXX_INSTALL_PDB=OFF -DLOG4CXX_CHARSET=utf-8 \
        -DAPR_CONFIG_EXECUTABLE=/nonexistent -DAPR_UTIL_CONFIG_EXECUTABLE=/nonexistent
    # Its build writes liblog4cxx.pc only on Unix; the program finds log4cxx by it. The DLL
    # brings APR along, so nothing else is required.
    if [ ! -f "$OUT/lib/pkgconfig/liblog4cxx.pc" ]; then
        mkdir -p "$OUT/lib/pkgconfig"
        cat >"$OUT/lib/pkgconfig/liblog4cxx.pc" <<'EOF'
prefix=${pcfiledir}/../..
libdir=${prefix}/lib
includedir=${prefix}/include

Name: log4cxx
Description: log4cxx C++ logging framework
Version: 1.0.0
Libs: -L${libdir} -llog4cxx
Cflags: -I${includedir}
EOF
    fi
}

build_ace() {
    unpack ace
    export ACE_ROOT=$PWD MPC_ROOT=$PWD/MPC
    local libs="-lACE"
    if [ "$TARGET" = linux-x86_64 ]; then
        # The configuration of Debian's own build (IPv6, inlined), as a static archive.
        printf '#define ACE_HAS_IPV6 1\n#define ACE_USES_IPV4_IPV6_MIGRATION 1\n#include "ace/config-linux.h"\n' >ace/config.h
        printf 'static_libs_only=1\ndebug=0\nipv6=1\nCPPFLAGS += %s\ninclude $(ACE_ROOT)/include/makeinclude/platform_linux.GNU\n' \
            "$CXXFLAGS" >include/makeinclude/platform_macros.GNU
        libs="-lACE -ldl -lpthread -lrt"
    else
        # ACE_USES_WCHAR: ACE_TMAIN is wmain and ACE_TCHAR is wchar_t.
        printf '#define ACE_USES_WCHAR\n#include "ace/config-win32.h"\n' >ace/config.h
        printf 'CROSS_COMPILE=%s-\ninclude $(ACE_ROOT)/include/makeinclude/platform_mingw32.GNU\n' \
            "$HOST" >include/makeinclude/platform_macros.GNU
    fi
    (cd ace && perl ../bin/mpc.pl -type gnuace ace.mpc >&2)
    make -C ace -j "$JOBS" -f GNUmakefile.ACE CXX="$CXX" CC="$CC"
    mkdir -p "$OUT/bin" "$OUT/lib/pkgconfig" "$OUT/include"
    find ace \( -name '*.h' -o -name '*.inl' -o -name '*.cpp' \) -print0 |
        xargs -0 cp --parents -t "$OUT/include"
    if [ "$TARGET" = linux-x86_64 ]; then
        cp ace/libACE.a "$OUT/lib/"
    else
        cp ace/libACE.dll "$OUT/bin/"
        cp ace/libACE.dll.a "$OUT/lib/"
    fi
    cat >"$OUT/lib/pkgconfig/ACE.pc" <<EOF
prefix=\${pcfiledir}/../..
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: ACE
Description: ADAPTIVE Communication Environment
Version: 7.0.8
Libs: -L\${libdir} $libs
Cflags: -I\${includedir}
EOF
}

build_boost() {
    unpack boost
    # Debian's source leaves out the build engine's generated grammar; make it as Debian does.
    (cd tools/build && bison -y -d -o src/engine/jamgram.cpp src/engine/jamgram.y)
    ./bootstrap.sh --with-libraries=program_options >&2
    echo "using gcc : cross : $CXX : <archiver>$AR <ranlib>$RANLIB ${RC:+<rc>$RC} ;" >user-config.jam
    # Static: only the program uses it, so no DLL of its own.
    ./b2 -j "$JOBS" -q --user-config=user-config.jam toolset=gcc-cross ${CXXFLAGS:+cxxflags="$CXXFLAGS"} \
        target-os="$BOOST_TARGET_OS" address-model=64 variant=release link=static \
        runtime-link=shared threading=multi --layout=system --with-program_options \
        --prefix="$OUT" install >&2
}

build_pugixml() {
    unpack pugixml
    # Static: only the agent's library uses it.
    cmake_build -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF
}

# ---- the driver ------------------------------------------------------------------------------

[ $# -eq 2 ] || die "usage: scripts/deps.sh windows-x86_64|linux-x86_64 PREFIX"
TARGET=$1
LINK=$2
declare -F "target_$TARGET" >/dev/null || die "unknown target '$TARGET' (windows-x86_64 or linux-x86_64)"
"target_$TARGET"
for tool in "$CC" "$CXX" "$AR" ${RC:+"$RC"} cmake ninja make perl cc bison dpkg-source patch; do
    command -v "$tool" >/dev/null ||
        die "$tool is missing (Debian: g++ g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev bison)"
done
CORVANE_LOG4CXX_SOURCE=${CORVANE_LOG4CXX_SOURCE:-$(dirname "$ROOT")/shared/third_party/apache-log4cxx-1.0.0.tar.gz}
[ -f "$CORVANE_LOG4CXX_SOURCE" ] ||
    die "no $CORVANE_LOG4CXX_SOURCE: set CORVANE_LOG4CXX_SOURCE to the path of apache-log4cxx-1.0.0.tar.gz (SHA-256 $LOG4CXX_SHA256); Debian's mirror does not serve log4cxx's source"
echo "$LOG4CXX_SHA256  $CORVANE_LOG4CXX_SOURCE" | sha256sum -c --status ||
    die "$CORVANE_LOG4CXX_SOURCE is not apache-log4cxx-1.0.0.tar.gz (SHA-256 differs from $LOG4CXX_SHA256)"

SHARED_STEPS=$(declare -f "target_$TARGET" fetch_debian_source unpack cmake_build
               [ -z "$TOOLCHAIN" ] || cat "$TOOLCHAIN"
               "$CC" --version | head -1; "$CXX" --version | head -1)
declare -A KEY VERSION_OF STEP
mkdir -p "$CACHE/$TARGET/logs"
for name in "${ORDER[@]}"; do
    wanted=${SOURCE[$name]}
    STEP[$name]=build_$name
    ! declare -F "build_${name}_$TARGET" >/dev/null || STEP[$name]=build_${name}_$TARGET
    if [ "$name" = log4cxx ]; then
        VERSION_OF[$name]=1.0.0
    else
        VERSION_OF[$name]=${wanted#*=}
        VERSION_OF[$name]=${VERSION_OF[$name]//\~/_}
    fi
    key_input=$(
        echo "$TARGET $wanted"
        declare -f "${STEP[$name]}"
        echo "$SHARED_STEPS"
        cat "$PATCHES/$name"-*.patch 2>/dev/null || true
        for dep in ${DEPENDS[$name]:-}; do echo "$dep ${KEY[$dep]}"; done
    )
    KEY[$name]=$(sha256sum <<<"$key_input" | cut -c1-12)
    OUT=$(prefix_of "$name")
    if [ -f "$OUT/.complete" ]; then
        log "$name ${VERSION_OF[$name]}: cached"
        continue
    fi
    [ "$name" = log4cxx ] || fetch_debian_source "$wanted"
    DEP_PREFIXES=""
    for dep in ${DEPENDS[$name]:-}; do DEP_PREFIXES="$DEP_PREFIXES${DEP_PREFIXES:+;}$(prefix_of "$dep")"; done
    # Built where it stays (pkg-config files and CMake packages may name their folder);
    # only a build that got to its end is marked complete.
    WORK="$CACHE/$TARGET/work-$name"
    rm -rf "$WORK" "$OUT"
    mkdir -p "$WORK"
    build_log="$CACHE/$TARGET/logs/$name.log"
    log "$name ${VERSION_OF[$name]}: building (log: $build_log)"
    started=$SECONDS
    set +e
    (
        set -euo pipefail
        "${STEP[$name]}"
    ) >"$build_log" 2>&1
    status=$?
    set -e
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$build_log" >&2
        rm -rf "$OUT"
        die "$name failed; the whole log is $build_log"
    fi
    touch "$OUT/.complete"
    rm -rf "$WORK"
    log "$name: built in $((SECONDS - started)) s"
done

# One folder with everything: hard links into the per-dependency folders.
all_keys=$(for name in "${ORDER[@]}"; do echo "$name ${KEY[$name]}"; done | sha256sum | cut -c1-12)
MERGED="$CACHE/$TARGET/prefix-$all_keys"
if [ ! -d "$MERGED" ]; then
    rm -rf "$MERGED.partial"
    mkdir -p "$MERGED.partial"
    for name in "${ORDER[@]}"; do
        cp -alf "$(prefix_of "$name")/." "$MERGED.partial/"
    done
    mv "$MERGED.partial" "$MERGED"
fi
ln -sfn "$MERGED" "$LINK"
log "dependencies for $TARGET in $MERGED (linked from $LINK)"
