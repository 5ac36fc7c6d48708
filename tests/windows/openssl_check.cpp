// Asks the shipped OpenSSL and libcurl DLLs what they would read, under wine:
//   openssl_check folders        the version and the folders compiled into libcrypto
//   openssl_check ping URL       one libcurl transfer (it sets up OpenSSL as the program's
//                                ping does); prints libcurl's result
//   openssl_check load FILE      loads FILE as OpenSSL configuration, as a program would
//                                that asked for it (the check's control case)
#include <curl/curl.h>
#include <openssl/conf.h>
#include <openssl/crypto.h>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "folders") == 0) {
        std::printf("version %s\n", OpenSSL_version(OPENSSL_VERSION_STRING));
        std::printf("%s\n", OpenSSL_version(OPENSSL_DIR));
        std::printf("%s\n", OpenSSL_version(OPENSSL_ENGINES_DIR));
        std::printf("%s\n", OpenSSL_version(OPENSSL_MODULES_DIR));
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "ping") == 0) {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 2;
        CURL* curl = curl_easy_init();
        if (curl == nullptr) return 2;
        curl_easy_setopt(curl, CURLOPT_URL, argv[2]);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
        std::printf("curl %d\n", static_cast<int>(curl_easy_perform(curl)));
        curl_easy_cleanup(curl);
        curl_global_cleanup();
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "load") == 0) {
        std::printf("load %d\n", CONF_modules_load_file(argv[2], nullptr, 0));
        return 0;
    }
    std::fprintf(stderr, "usage: openssl_check folders | ping URL | load FILE\n");
    return 2;
}
