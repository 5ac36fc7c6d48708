#include "agentcommon/communication/pinned_certificate.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>
#include <vector>

#include "platform/file_read.h"

namespace Ardentis {
namespace {

// A certificate, even with a long chain, is far smaller than this.
constexpr std::size_t kLargestCertificateFile = 64 * 1024;

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
    void operator()(T* object) const { Free(object); }
};
using Bio = std::unique_ptr<BIO, OpenSslDeleter<BIO, BIO_free_all>>;
using Certificate = std::unique_ptr<X509, OpenSslDeleter<X509, X509_free>>;

CertificatePin Failed(std::string why) {
    return {{}, std::move(why)};
}

}  // namespace

CertificatePin PinFromPem(std::string_view pem) {
    if (pem.empty()) return Failed("it is empty");
    const Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    const Certificate certificate(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)
                                      : nullptr);
    if (!certificate) return Failed("it holds no certificate in PEM form");

    // The pin is the SHA-256 of the DER SubjectPublicKeyInfo, as libcurl compares it.
    unsigned char* der = nullptr;
    const int derLength = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate.get()), &der);
    if (derLength <= 0) return Failed("its public key cannot be read");
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    const bool hashed = EVP_Digest(der, static_cast<std::size_t>(derLength), digest, &digestLength,
                                   EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    if (!hashed) return Failed("its public key cannot be hashed");

    std::vector<unsigned char> base64(4 * ((digestLength + 2) / 3) + 1);
    const int base64Length = EVP_EncodeBlock(base64.data(), digest, static_cast<int>(digestLength));
    return {"sha256//" + std::string(base64.begin(), base64.begin() + base64Length), {}};
}

CertificatePin ReadPinnedCertificate(const std::wstring& path) {
    std::vector<char> buffer(kLargestCertificateFile + 1);
    const auto count = platform::ReadFileStart(path, buffer);
    if (!count)
        return Failed("it cannot be read (not a regular file, no access, or being written)");
    if (*count > kLargestCertificateFile) return Failed("it is larger than 64 KiB");
    return PinFromPem(std::string_view(buffer.data(), *count));
}

}  // namespace Ardentis
