#include "communication/pinned_certificate.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <vector>

#include "agentcommon/CorvaneCommon.h"
#include "communication/certificate_facts.h"
#include "communication/openssl_handles.h"
#include "platform/file_read.h"

namespace Ardentis {
namespace {

util::Expected<PinnedKey> KeyFromPem(std::string_view pem) {
    if (pem.empty()) return util::Fail("it is empty");
    const BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    const CertificatePtr certificate(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)
                                         : nullptr);
    if (!certificate) {
        ERR_clear_error();  // the next handshake must not read this failure as its own
        return util::Fail("it holds no certificate in PEM form");
    }
    CertificateFacts facts = DescribeCertificate(certificate.get());
    if (facts.pin.empty()) return util::Fail("its public key cannot be read");
    return PinnedKey{std::move(facts.pin), std::move(facts.issuer)};
}

}  // namespace

util::Expected<std::string> PinFromPem(std::string_view pem) {
    util::Expected<PinnedKey> key = KeyFromPem(pem);
    if (!key) return util::Fail(key.Error());
    return std::move(key->pin);
}

util::Expected<PinnedKey> ReadPinnedCertificate(const std::wstring& path) {
    std::vector<char> buffer(kLargestPinnedFile + 1);
    const auto count = platform::ReadFileStart(path, buffer);
    if (!count)
        return util::Fail("it cannot be read (not a regular file, no access, or being written)");
    if (*count > kLargestPinnedFile) return util::Fail("it is larger than 64 KiB");
    return KeyFromPem(std::string_view(buffer.data(), *count));
}

std::string RepinAdvice() {
    return "remove " + std::string(kPinnedCertificateFile) + " to pin again";
}

std::string RepinAdvice(const PingTarget& target) {
    if (target.pinnedPath.empty()) return RepinAdvice();
    // In the package's layout only root, the folder's owner, and the file's owner may
    // remove it from the sticky config/ folder.
    const std::string& owner = target.pinnedOwner;
    const std::string who = owner.empty()     ? "as an administrator"
                            : owner == "root" ? "as root"
                                              : "as root or as " + owner + ", its owner";
    return "remove " + target.pinnedPath + " (" + who + ") to pin again";
}

FirstPin PinOnFirstContact(X509* certificate, platform::NewFile& file, const PingFacts& facts) {
    const std::string& hostPort = facts.target.hostPort;
    const util::Expected<std::string> pem = PemOf(certificate);
    const util::Expected<std::string> pin = pem ? PinFromPem(*pem) : util::Fail(pem.Error());
    if (!pin)
        return {"key not pinned",
                {LogLine::Level::Error,
                 "Cannot keep the certificate of " + hostPort + ": " + pin.Error().reason}};
    if (const util::Expected<void> saved = file.Commit(*pem); !saved)
        return {"key " + *pin + " not pinned",
                {LogLine::Level::Error, "Cannot save the certificate of " + hostPort + " to " +
                                            std::string(kPinnedCertificateFile) + ": " +
                                            saved.Error().reason}};
    const std::string way =
        facts.route.proxy.tunnelOpen ? "the proxy " + facts.route.proxy.url : "a direct connection";
    return {"key now pinned " + *pin,
            {LogLine::Level::Warn, "First contact with " + hostPort +
                                       ": trusting its certificate (public key " + *pin +
                                       "), taken over " + way + ", and pinning it in " +
                                       std::string(kPinnedCertificateFile)}};
}

}  // namespace Ardentis
