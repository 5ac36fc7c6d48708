#include "agentcommon/communication/pinned_certificate.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <memory>
#include <vector>

#include "agentcommon/communication/certificate_facts.h"
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

CertificatePin Failed(std::string why) {
    return {{}, std::move(why)};
}

}  // namespace

CertificatePin PinFromPem(std::string_view pem) {
    if (pem.empty()) return Failed("it is empty");
    const Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    const CertificatePtr certificate(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)
                                         : nullptr);
    if (!certificate) {
        ERR_clear_error();  // the next handshake must not read this failure as its own
        return Failed("it holds no certificate in PEM form");
    }

    std::string pin = PublicKeyPin(certificate.get());
    if (pin.empty()) return Failed("its public key cannot be read");
    return {std::move(pin), {}};
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
