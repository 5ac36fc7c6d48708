# shellcheck shell=bash disable=SC2034  # a recipe: scripts/deps.sh reads its settings
# APR-util: log4cxx's XML (through expat) and its other utilities.
DEB_SOURCE="apr-util"
SYSTEM_PACKAGE=libaprutil1
DEPENDS="apr expat"
LICENSE=Apache-2.0
CPE="cpe:2.3:a:apache:apr-util:@VERSION@:*:*:*:*:*:*:*"
DESCRIPTION="Apache Portable Runtime utilities"

build_windows-x86_64() {
    unpack
    local apr
    apr=$(prefix_of apr)
    # COM_NO_WINDOWS_H: as for APR.
    CFLAGS="$CFLAGS -DCOM_NO_WINDOWS_H" cmake_build -DAPR_INCLUDE_DIR="$apr/include" \
        -DAPR_LIBRARIES="$apr/lib/liblibapr-1.dll.a" -DAPU_HAVE_CRYPTO=OFF -DAPU_HAVE_ODBC=OFF \
        -DAPR_HAS_LDAP=OFF -DINSTALL_PDB=OFF -DAPR_BUILD_TESTAPR=OFF
}

build_linux-x86_64() {
    unpack
    # XML (for log4cxx's configuration files) through expat; none of the databases,
    # directories or crypto back ends.
    ./configure --prefix="$OUT" --with-apr="$(prefix_of apr)" --with-expat="$(prefix_of expat)" \
        --without-berkeley-db --without-gdbm --without-ndbm --without-ldap --without-sqlite2 \
        --without-sqlite3 --without-pgsql --without-mysql --without-odbc --without-oracle \
        --without-freetds --without-crypto --without-openssl --without-nss --without-commoncrypto
    make -j "$JOBS"
    make install
}

# The version that the built headers declare, read in the prefix (the bill of materials
# is checked against it).
built_version() {
    local h
    h=$(ls include/apu_version.h include/apr-1/apu_version.h 2>/dev/null | head -1)
    echo "$(header_define "$h" APU_MAJOR_VERSION).$(header_define "$h" APU_MINOR_VERSION).$(header_define "$h" APU_PATCH_VERSION)"
}
