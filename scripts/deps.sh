#!/usr/bin/env bash
# Builds CorvanePing's bundled dependencies from Debian's sources for one of two targets:
#
#   windows-x86_64  64-bit Windows with Debian's mingw-w64 (posix threads): every recipe;
#                   DLLs where the program shares them, static archives where only one
#                   binary uses them.
#   linux-x86_64    the Linux release build: every recipe but OpenSSL (the system's libssl3
#                   stays, so that its security updates reach the program), as
#                   position-independent static archives that the program's shared
#                   objects take in and hide.
#
# Usage: scripts/deps.sh TARGET PREFIX
#   PREFIX becomes a link to one folder that holds all of them (include/, lib/, for Windows
#   bin/ with the DLLs, and share/corvaneping-deps/components.tsv, which names each one's
#   version and sources for the bill of materials): -DCORVANE_WINDOWS_PREFIX=PREFIX with
#   cmake/mingw-w64-x86_64.cmake, or -DCORVANE_BUNDLED_PREFIX=PREFIX on Linux.
#
# CORVANE_DEPS_CACHE      the cache (default ~/.cache/corvaneping); made mode 0700, and
#                         refused when another user owns it or others may write to it,
#                         or to a parent folder that is not sticky.
# CORVANE_THIRD_PARTY     upstream tarballs that Debian's mirror does not serve (default:
#                         ../shared/third_party beside the checkout; see the recipes).
# CORVANE_JOBS            parallel compile jobs (default 2).
#
# Each dependency is one recipe, scripts/deps/<name>.sh, with its patches and templates in
# scripts/deps/<name>/. A recipe names its Debian source package (DEB_SOURCE), the package
# of the developer build whose upstream release it builds (SYSTEM_PACKAGE), which of the
# source package's files it needs (DEB_FILES: all, orig or debian), its license, what it
# is built against (DEPENDS), one function build_<target> per target it is built for (a
# dependency without a build for the target is the system's) and built_version, which
# reads the version from what was built.
#
# This driver, at every run: takes a lock on the cache, updates its own apt index once
# (the machine's deb-src entries, through an apt configuration of its own), and for each
# recipe chooses the newest revision of that upstream release whose sources the mirror
# serves, fetches them with apt-get source --download-only (apt checks what is in the cache
# against the signed index and fetches what is missing or wrong), then checks each file's
# SHA-256 against the index again after copying it into the work folder, and builds from
# that copy. Each dependency is built into <cache>/<target>/<name>-<version>-<key>; the key
# hashes the chosen revision and its files' SHA-256, the recipe and its folder, the shared
# steps, the compiler and the keys of the dependencies it is built against. A dependency is
# rebuilt only when its key changes; a failed build leaves nothing in the cache.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd -P)
RECIPES=$ROOT/scripts/deps
CACHE=${CORVANE_DEPS_CACHE:-$HOME/.cache/corvaneping}
THIRD_PARTY=${CORVANE_THIRD_PARTY:-$(dirname "$ROOT")/shared/third_party}
JOBS=${CORVANE_JOBS:-2}

log() { echo "deps: $*" >&2; }
die() {
    log "$*"
    exit 1
}

# ---- targets --------------------------------------------------------------------------------

target_windows-x86_64() {
    HOST=x86_64-w64-mingw32
    CC=$HOST-gcc-posix
    CXX=$HOST-g++-posix
    AR=$HOST-ar
    RANLIB=$HOST-ranlib
    RC=$HOST-windres
    TOOLCHAIN=$ROOT/cmake/mingw-w64-x86_64.cmake
    SHARED_LIBS=ON
    TARGET_CFLAGS=""
    # The compiler's DLLs that the installation carries (cmake/Windows.cmake copies them):
    # "package|license|description", for the bill of materials.
    RUNTIME_PACKAGES=(
        "gcc-mingw-w64-x86-64-posix-runtime|GPL-3.0-or-later WITH GCC-exception-3.1|GCC's runtime (libstdc++-6.dll, libgcc_s_seh-1.dll)"
        "mingw-w64-x86-64-dev|MIT AND BSD-3-Clause|POSIX threads for Windows (libwinpthread-1.dll)"
    )
}

target_linux-x86_64() {
    HOST=x86_64-linux-gnu
    CC=gcc
    CXX=g++
    AR=ar
    RANLIB=ranlib
    RC=
    TOOLCHAIN=
    SHARED_LIBS=OFF
    # Archives that end up in shared objects: position-independent, and one section per
    # function and object, so that the link keeps only what is called.
    TARGET_CFLAGS="-O2 -fPIC -ffunction-sections -fdata-sections"
    RUNTIME_PACKAGES=()
}

# ---- helpers for the recipes ------------------------------------------------------------------

# Unpacks the checked sources of the current recipe into $WORK/src, applies Debian's patches
# when only its .dsc and changes were taken, then the recipe's own patches, and enters it.
unpack() {
    local src=$WORK/src files=$WORK/sources
    rm -rf "$src"
    case $DEB_FILES in
        all)
            # dpkg-source checks every file against the .dsc (whose hash the index vouches
            # for) and applies Debian's patches.
            dpkg-source -x "$files"/*.dsc "$src" >&2
            ;;
        orig)
            mkdir -p "$src"
            tar -xf "$files"/*.orig.tar.* -C "$src" --strip-components=1
            ;;
        debian)
            mkdir -p "$src"
            tar -xf "$files/$(basename "$UPSTREAM_TARBALL")" -C "$src" --strip-components=1
            tar -xf "$files"/*.debian.tar.* -C "$src"
            local patch
            while read -r patch _; do
                case $patch in '' | '#'*) continue ;; esac
                log "applying Debian's $patch"
                patch -d "$src" -p1 --forward --quiet <"$src/debian/patches/$patch"
            done <"$src/debian/patches/series"
            ;;
    esac
    cd "$src"
    local patch
    for patch in "$RECIPES/$NAME"/*.patch; do
        [ -f "$patch" ] || continue
        log "applying $(basename "$patch")"
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

# Writes $OUT/lib/pkgconfig/NAME.pc from the recipe's NAME.pc.in, with @VERSION@ and
# @LIBS@ (the second argument) filled in.
write_pc() {
    mkdir -p "$OUT/lib/pkgconfig"
    sed -e "s|@VERSION@|$VERSION|g" -e "s|@LIBS@|$2|g" "$RECIPES/$NAME/$1.pc.in" \
        >"$OUT/lib/pkgconfig/$1.pc"
}

# The value of "#define NAME value" in FILE, without quotes (for built_version).
header_define() {
    sed -n "s/^#[[:space:]]*define[[:space:]]\+$2[[:space:]]\+\"\?\([^\"[:space:]]*\)\"\?.*/\1/p" "$1" | head -1
}

# The install prefix of a dependency of this target.
prefix_of() { echo "$CACHE/$TARGET/$1-${VERSION_OF[$1]}-${KEY[$1]}"; }

# Runs the recipe's build for the target. File names inside what it builds name the
# cache's target folder as /deps, wherever the cache is.
run_build() {
    export CFLAGS="$TARGET_CFLAGS -ffile-prefix-map=$CACHE/$TARGET=/deps"
    export CXXFLAGS=$CFLAGS
    "build_$TARGET"
}

# ---- sources ---------------------------------------------------------------------------------

# apt with a configuration of our own: the machine's Debian sources as deb-src entries, its
# state under the cache. The machine's own apt configuration is not touched.
apt_setup() {
    APT=$CACHE/apt
    rm -rf "$APT/parts" "$APT/empty"
    mkdir -p "$APT/parts" "$APT/lists/partial" "$APT/cache/archives/partial" "$APT/empty"
    : >"$APT/sources.list"
    local list
    for list in /etc/apt/sources.list.d/*.sources; do
        [ -f "$list" ] && sed 's/^Types: deb$/Types: deb-src/' "$list" >"$APT/parts/$(basename "$list")"
    done
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$APT/sources.list"
    fi
    APT_OPTIONS=(-q -o Dir::Etc::SourceList="$APT/sources.list" -o Dir::Etc::SourceParts="$APT/parts"
                 -o Dir::State::Lists="$APT/lists" -o Dir::Cache="$APT/cache"
                 -o APT::Sandbox::User=root)
    log "updating the source index (once per run)"
    apt-get "${APT_OPTIONS[@]}" update >>"$RUN_LOG" 2>&1 || die "apt-get update (deb-src) failed: see $RUN_LOG"
}

# The upstream part of a Debian version (no epoch, no revision).
upstream_of() {
    local v=${1#*:}
    echo "${v%-*}"
}

# The files of PACKAGE=VERSION that the recipe needs, as "URL FILE SHA256" lines, from the
# signed index.
source_files() {
    (cd "$APT/empty" && apt-get "${APT_OPTIONS[@]}" --print-uris source "$1=$2" 2>>"$RUN_LOG") |
        sed -n "s/^'\([^']*\)' \([^ ]*\) [0-9]* SHA256:\([0-9a-f]*\)$/\1 \2 \3/p" |
        while read -r url file sha; do
            case $DEB_FILES:$file in
                all:*) ;;
                orig:*.orig.tar.*.asc | orig:*.dsc | orig:*.debian.tar.*) continue ;;
                orig:*.orig.tar.*) ;;
                debian:*.dsc | debian:*.debian.tar.*) ;;
                *) continue ;;
            esac
            echo "$url $file $sha"
        done
}

# Fetches the needed files of PACKAGE=VERSION into the source cache; fails when the mirror
# does not serve one of them as the index describes it.
fetch() {
    local package=$1 version=$2 files dir=$CACHE/sources/$1 url file sha
    files=$(source_files "$package" "$version")
    [ -n "$files" ] || return 1
    mkdir -p "$dir"
    # apt keeps a file whose hash matches the index and fetches the others again. It fails
    # when a file the recipe does not need is missing too; the check below decides.
    (cd "$dir" && apt-get "${APT_OPTIONS[@]}" source --download-only "$package=$version") >>"$RUN_LOG" 2>&1 || true
    while read -r url file sha; do
        [ -f "$dir/$file" ] && echo "$sha  $dir/$file" | sha256sum -c --status || return 1
    done <<<"$files"
    FILES_OF[$NAME]=$files
}

# Chooses the revision of the recipe's source package: the newest in the index of the
# upstream release that the developer build uses, whose sources the mirror serves.
choose() {
    local installed upstream versions=() version newer=() i j
    installed=$(dpkg-query -W -f='${Version}\n' "$SYSTEM_PACKAGE" 2>/dev/null | head -1)
    [ -n "$installed" ] ||
        die "$NAME: $SYSTEM_PACKAGE is not installed: the build takes its upstream release from it (scripts/install-deps.sh installs it)"
    upstream=$(upstream_of "$installed")
    mapfile -t versions < <(apt-cache "${APT_OPTIONS[@]}" showsrc --only-source "$DEB_SOURCE" 2>>"$RUN_LOG" |
        sed -n 's/^Version: //p' | sort -u | while read -r v; do
            [ "$(upstream_of "$v")" = "$upstream" ] && echo "$v"
        done)
    # Newest first.
    for ((i = 0; i < ${#versions[@]}; i++)); do
        for ((j = i + 1; j < ${#versions[@]}; j++)); do
            if dpkg --compare-versions "${versions[j]}" gt "${versions[i]}"; then
                version=${versions[i]}
                versions[i]=${versions[j]}
                versions[j]=$version
            fi
        done
    done
    for version in "${versions[@]}"; do
        if fetch "$DEB_SOURCE" "$version"; then
            CHOSEN[$NAME]=$version
            log "$NAME: $DEB_SOURCE $version (upstream $upstream, as $SYSTEM_PACKAGE $installed)"
            for i in "${newer[@]}"; do
                log "WARNING: $NAME: the index lists $DEB_SOURCE $i, newer than $version, but the mirror does not serve its sources; built from $version"
            done
            return
        fi
        newer+=("$version")
    done
    die "$NAME: the mirror serves the sources of no revision of $DEB_SOURCE $upstream (index: ${versions[*]:-none}; see $RUN_LOG)"
}

# Copies the chosen sources into $WORK/sources and checks them there, where nothing else
# writes: the build reads only what was checked.
copy_sources() {
    local url file sha dir=$CACHE/sources/$DEB_SOURCE
    mkdir -p "$WORK/sources"
    while read -r url file sha; do
        cp "$dir/$file" "$WORK/sources/"
        echo "$sha  $WORK/sources/$file" | sha256sum -c --status ||
            die "$NAME: $file changed in the cache while being copied"
    done <<<"${FILES_OF[$NAME]}"
    if [ -n "${UPSTREAM_TARBALL:-}" ]; then
        cp "$UPSTREAM_TARBALL" "$WORK/sources/"
        echo "$UPSTREAM_SHA256  $WORK/sources/$(basename "$UPSTREAM_TARBALL")" | sha256sum -c --status ||
            die "$NAME: $UPSTREAM_TARBALL is not the expected release (SHA-256 differs from $UPSTREAM_SHA256)"
    fi
}

# ---- recipes -------------------------------------------------------------------------------

# Loads one recipe's settings into the current shell.
load_recipe() {
    NAME=$1
    DEB_SOURCE="" SYSTEM_PACKAGE="" DEB_FILES=all DEPENDS="" LICENSE="" DESCRIPTION=""
    UPSTREAM_TARBALL="" UPSTREAM_URL="" UPSTREAM_SHA256="" CPE=""
    local target
    for target in windows-x86_64 linux-x86_64; do unset -f "build_$target"; done
    unset -f built_version
    # shellcheck source=/dev/null
    source "$RECIPES/$NAME.sh"
}

# The license and notice texts of the recipe loaded last, taken from the sources it is
# built from, each checked against its SHA-256 again: the upstream release's top-level
# LICENSE, COPYING, NOTICE and COPYRIGHT files, and Debian's debian/copyright (as
# debian-copyright). Into $1; a component whose sources hold none stops the run.
collect_licenses() {
    local out=$1 url file sha path members
    mkdir -p "$out"
    {
        echo "${FILES_OF[$NAME]}"
        [ -z "$UPSTREAM_TARBALL" ] || echo "$UPSTREAM_URL $UPSTREAM_TARBALL $UPSTREAM_SHA256"
    } | while read -r url file sha; do
        [ -n "$file" ] || continue
        case $file in /*) path=$file ;; *) path=$CACHE/sources/$DEB_SOURCE/$file ;; esac
        echo "$sha  $path" | sha256sum -c --status || die "$NAME: $file is not what the index names"
        case $file in
            *.asc | *.dsc) ;;
            *.debian.tar.*)
                tar -xOf "$path" debian/copyright >"$out/debian-copyright" ;;
            *.tar.*)
                members=$(tar -tf "$path" | grep -iE '^[^/]+/(licen[cs]e|copying|notice|copyright)[^/]*$' || true)
                for member in $members; do tar -xOf "$path" "$member" >"$out/${member#*/}"; done ;;
        esac
    done
    [ -n "$(ls -A "$out")" ] || die "$NAME: its sources hold no license text"
}

# ---- the driver ------------------------------------------------------------------------------

[ $# -eq 2 ] || die "usage: scripts/deps.sh windows-x86_64|linux-x86_64 PREFIX"
TARGET=$1
LINK=$2
declare -F "target_$TARGET" >/dev/null || die "unknown target '$TARGET' (windows-x86_64 or linux-x86_64)"
"target_$TARGET"
for tool in "$CC" "$CXX" "$AR" ${RC:+"$RC"} cmake ninja make perl cc bison dpkg-source patch flock apt-get; do
    command -v "$tool" >/dev/null ||
        die "$tool is missing (Debian: g++ g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev bison)"
done

# The cache: ours alone. A folder that someone else could write to could hand the build
# any source or library.
if [ ! -e "$CACHE" ]; then
    mkdir -p "$(dirname "$CACHE")"
    mkdir -m 0700 "$CACHE"
fi
[ -d "$CACHE" ] && [ ! -L "$CACHE" ] || die "$CACHE is not a folder"
[ "$(stat -c %u "$CACHE")" = "$(id -u)" ] || die "$CACHE belongs to another user; refusing to use it"
case $(stat -c %A "$CACHE") in
    ?????w???? | ????????w?) die "$CACHE may be written by others than its owner; refusing to use it (chmod 700)" ;;
esac
# Its parents too, as ssh's StrictModes checks ~/.ssh: a user who may change one of them
# could swap the cache for another after these checks. A folder that others may write to
# is safe only when it is sticky (/tmp): then no one else can rename what is in it.
folder=$(realpath "$CACHE")
while [ "$folder" != / ]; do
    folder=$(dirname "$folder")
    owner=$(stat -c %u "$folder")
    [ "$owner" = 0 ] || [ "$owner" = "$(id -u)" ] ||
        die "$folder, a parent of $CACHE, belongs to another user; refusing to use the cache"
    case $(stat -c %A "$folder") in
        ?????w???? | ????????w?)
            [ -k "$folder" ] ||
                die "$folder, a parent of $CACHE, may be written by others; refusing to use the cache" ;;
    esac
done

# One run at a time: the next one waits.
exec 9>"$CACHE/.lock"
flock -n 9 || {
    log "waiting for another run that holds $CACHE/.lock"
    flock 9
}

WORK=""
OUT=""
MANIFEST=""
cleanup() {
    [ -z "$WORK" ] || rm -rf "$WORK"
    [ -z "$MANIFEST" ] || rm -f "$MANIFEST"
    # A dependency whose build did not finish leaves nothing behind.
    [ -z "$OUT" ] || [ -f "$OUT/.complete" ] || rm -rf "$OUT"
    rm -rf "${MERGED:-/nonexistent}.partial"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

mkdir -p "$CACHE/$TARGET/logs"
RUN_LOG=$CACHE/$TARGET/logs/sources.log
: >"$RUN_LOG"
apt_setup

# The recipes of this target, each after what it is built against.
declare -A KEY VERSION_OF CHOSEN FILES_OF
ORDER=()
pending=()
for recipe in "$RECIPES"/*.sh; do
    name=$(basename "$recipe" .sh)
    load_recipe "$name"
    declare -F "build_$TARGET" >/dev/null && pending+=("$name")
done
while [ ${#pending[@]} -gt 0 ]; do
    rest=()
    for name in "${pending[@]}"; do
        load_recipe "$name"
        ready=true
        for dep in $DEPENDS; do
            [[ " ${pending[*]} " == *" $dep "* ]] && ready=false
        done
        if $ready; then ORDER+=("$name"); else rest+=("$name"); fi
    done
    [ ${#rest[@]} -lt ${#pending[@]} ] || die "the recipes ${rest[*]} depend on each other"
    pending=("${rest[@]}")
done

SHARED_STEPS=$(declare -f "target_$TARGET" unpack cmake_build write_pc copy_sources run_build
               [ -z "$TOOLCHAIN" ] || cat "$TOOLCHAIN"
               "$CC" --version | head -1; "$CXX" --version | head -1)
MANIFEST=$(mktemp)
for name in "${ORDER[@]}"; do
    load_recipe "$name"
    choose
    VERSION=$(upstream_of "${CHOSEN[$name]}")
    VERSION=${VERSION%+dfsg*}
    VERSION=${VERSION%+ds*}
    VERSION_OF[$name]=$VERSION
    # What this target builds against: the dependencies it has recipes for.
    deps=""
    for dep in $DEPENDS; do [ -z "${KEY[$dep]:-}" ] || deps="$deps $dep"; done
    key_input=$(
        echo "$TARGET ${CHOSEN[$name]}"
        echo "${FILES_OF[$name]}" | cut -d' ' -f2-
        echo "$UPSTREAM_SHA256"
        cat "$RECIPES/$name.sh"
        [ ! -d "$RECIPES/$name" ] || (cd "$RECIPES/$name" && find . -type f | LC_ALL=C sort | xargs cat)
        echo "$SHARED_STEPS"
        for dep in $deps; do echo "$dep ${KEY[$dep]}"; done
    )
    KEY[$name]=$(sha256sum <<<"$key_input" | cut -c1-12)
    # One line per component for the bill of materials.
    {
        printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s' "$name" "$VERSION" "$DEB_SOURCE" "${CHOSEN[$name]}" \
            "$DEB_FILES" "$LICENSE" "$CPE" "$DESCRIPTION"
        while read -r url file sha; do printf '\t%s %s' "$url" "$sha"; done <<<"${FILES_OF[$name]}"
        [ -z "$UPSTREAM_TARBALL" ] || printf '\t%s %s' "$UPSTREAM_URL" "$UPSTREAM_SHA256"
        printf '\n'
    } >>"$MANIFEST"
    OUT=$(prefix_of "$name")
    if [ -f "$OUT/.complete" ]; then
        log "$name $VERSION: cached"
        OUT=""
        continue
    fi
    DEP_PREFIXES=""
    for dep in $deps; do DEP_PREFIXES="$DEP_PREFIXES${DEP_PREFIXES:+;}$(prefix_of "$dep")"; done
    # Built where it stays (pkg-config files and CMake packages may name their folder).
    WORK="$CACHE/$TARGET/work-$name"
    rm -rf "$WORK" "$OUT"
    mkdir -p "$WORK"
    copy_sources
    build_log="$CACHE/$TARGET/logs/$name.log"
    log "$name $VERSION: building (log: $build_log)"
    started=$SECONDS
    set +e
    (
        set -euo pipefail
        run_build
    ) >"$build_log" 2>&1
    status=$?
    set -e
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$build_log" >&2
        die "$name failed; the whole log is $build_log"
    fi
    built=$(cd "$OUT" && built_version)
    [ "$built" = "$VERSION" ] || die "$name: the built headers say $built, not $VERSION"
    touch "$OUT/.complete"
    rm -rf "$WORK"
    WORK=""
    OUT=""
    log "$name: built in $((SECONDS - started)) s"
done

# The compiler's runtime DLLs, as Debian built them: the installed packages' sources.
for runtime in "${RUNTIME_PACKAGES[@]}"; do
    IFS='|' read -r package license description <<<"$runtime"
    IFS=$'\t' read -r version source source_version < <(dpkg-query -W \
        -f='${Version}\t${source:Package}\t${source:Version}\n' "$package" | head -1)
    DEB_FILES=all
    {
        printf '%s\t%s\t%s\t%s\truntime\t%s\t\t%s' "$package" "$(upstream_of "$version")" \
            "$source" "$source_version" "$license" "$description"
        source_files "$source" "$source_version" | while read -r url file sha; do
            case $file in *.dsc) printf '\t%s %s' "$url" "$sha" ;; esac
        done
        printf '\n'
    } >>"$MANIFEST"
done

# One folder with everything: hard links into the per-dependency folders, the list of
# what is in it and their license texts. MERGE_VERSION counts changes to what this step
# adds, so that a cache assembled the old way is assembled again (nothing is rebuilt).
MERGE_VERSION=2
all_keys=$(for name in "${ORDER[@]}"; do echo "$name ${KEY[$name]}"; done
           cat "$MANIFEST"; echo "licenses $MERGE_VERSION")
all_keys=$(sha256sum <<<"$all_keys" | cut -c1-12)
MERGED="$CACHE/$TARGET/prefix-$all_keys"
if [ ! -d "$MERGED" ]; then
    rm -rf "$MERGED.partial"
    mkdir -p "$MERGED.partial/share/corvaneping-deps"
    for name in "${ORDER[@]}"; do
        cp -alf "$(prefix_of "$name")/." "$MERGED.partial/"
    done
    rm -f "$MERGED.partial/.complete"
    cp "$MANIFEST" "$MERGED.partial/share/corvaneping-deps/components.tsv"
    # Each component's license and notice texts, for the packages to carry.
    licenses="$MERGED.partial/share/corvaneping-deps/licenses"
    for name in "${ORDER[@]}"; do
        load_recipe "$name"
        collect_licenses "$licenses/$name"
    done
    # The compiler's runtime DLLs: the copyright file of the Debian package they come from.
    for runtime in "${RUNTIME_PACKAGES[@]}"; do
        package=${runtime%%|*}
        mkdir -p "$licenses/$package"
        cp "/usr/share/doc/$package/copyright" "$licenses/$package/debian-copyright"
    done
    mv "$MERGED.partial" "$MERGED"
fi
ln -sfn "$MERGED" "$LINK"
log "dependencies for $TARGET in $MERGED (linked from $LINK)"
