# shellcheck shell=bash disable=SC2034  # a recipe: scripts/deps.sh reads its settings
# libcurl: the ping's HTTPS client, in CommunicationAPI.
DEB_SOURCE=curl
SYSTEM_PACKAGE=libcurl4
DEPENDS=openssl
LICENSE=curl
CPE="cpe:2.3:a:haxx:libcurl:@VERSION@:*:*:*:*:*:*:*"
DESCRIPTION="URL transfer library (HTTP and HTTPS only)"

# HTTPS through OpenSSL is all the ping needs; no CA bundle: the pin is the trust.
curl_build() {
    unpack
    cmake_build -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DHTTP_ONLY=ON -DCURL_USE_OPENSSL=ON \
        -DCURL_USE_LIBSSH2=OFF -DUSE_LIBIDN2=OFF \
        -DCURL_USE_GSSAPI=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
        -DUSE_NGHTTP2=OFF -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF -DCURL_CA_BUNDLE=none \
        -DCURL_CA_PATH=none "$@"
}

# Windows has no system OpenSSL configuration: libcurl asks OpenSSL to load none, so that
# no file decides what the process loads or accepts.
build_windows-x86_64() {
    curl_build -DOPENSSL_ROOT_DIR="$(prefix_of openssl)" -DCURL_DISABLE_OPENSSL_AUTO_LOAD_CONFIG=ON
}

# Against the system's OpenSSL 3 and its configuration, as Debian's libcurl.
build_linux-x86_64() { curl_build; }

# The version that the built headers declare, read in the prefix (the bill of materials
# is checked against it).
built_version() {
    header_define include/curl/curlver.h LIBCURL_VERSION
}
