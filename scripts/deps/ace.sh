# shellcheck shell=bash disable=SC2034  # a recipe: scripts/deps.sh reads its settings
# ACE: the agent library's OS layer and the program's entry point.
DEB_SOURCE=ace
SYSTEM_PACKAGE=libace-7.0.8
LICENSE=DOC
DESCRIPTION="ADAPTIVE Communication Environment"

# Builds ace/ with the configuration of the current folder, installs its headers.
ace_build() {
    (cd ace && perl ../bin/mpc.pl -type gnuace ace.mpc >&2)
    make -C ace -j "$JOBS" -f GNUmakefile.ACE CXX="$CXX" CC="$CC"
    mkdir -p "$OUT/bin" "$OUT/lib" "$OUT/include"
    find ace \( -name '*.h' -o -name '*.inl' -o -name '*.cpp' \) -print0 |
        xargs -0 cp --parents -t "$OUT/include"
}

build_windows-x86_64() {
    unpack
    export ACE_ROOT=$PWD MPC_ROOT=$PWD/MPC
    # ACE_USES_WCHAR: ACE_TMAIN is wmain and ACE_TCHAR is wchar_t.
    printf '#define ACE_USES_WCHAR\n#include "ace/config-win32.h"\n' >ace/config.h
    printf 'CROSS_COMPILE=%s-\nCPPFLAGS += %s\ninclude $(ACE_ROOT)/include/makeinclude/platform_mingw32.GNU\n' \
        "$HOST" "$CXXFLAGS" >include/makeinclude/platform_macros.GNU
    ace_build
    cp ace/libACE.dll "$OUT/bin/"
    cp ace/libACE.dll.a "$OUT/lib/"
    write_pc ACE "-lACE"
}

build_linux-x86_64() {
    unpack
    export ACE_ROOT=$PWD MPC_ROOT=$PWD/MPC
    # The configuration of Debian's own build (IPv6, inlined), as a static archive.
    printf '#define ACE_HAS_IPV6 1\n#define ACE_USES_IPV4_IPV6_MIGRATION 1\n#include "ace/config-linux.h"\n' >ace/config.h
    printf 'static_libs_only=1\ndebug=0\nipv6=1\nCPPFLAGS += %s\ninclude $(ACE_ROOT)/include/makeinclude/platform_linux.GNU\n' \
        "$CXXFLAGS" >include/makeinclude/platform_macros.GNU
    ace_build
    cp ace/libACE.a "$OUT/lib/"
    write_pc ACE "-lACE -ldl -lpthread -lrt"
}

# The version that the built headers declare, read in the prefix (the bill of materials
# is checked against it).
built_version() {
    header_define include/ace/Version.h ACE_VERSION
}
