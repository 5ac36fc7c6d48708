#include "communication/server_certificate.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>

#include <ctime>
#include <memory>
#include <vector>

#include "agentcommon/CorvaneCommon.h"
#include "communication/openssl_handles.h"
#include "platform/file_read.h"
#include "util/printable_text.h"

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
    // Left unset: filling 64 KiB only to read a file of a few hundred bytes over it
    // touched sixteen pages on every run.
    const auto buffer = std::make_unique_for_overwrite<char[]>(kLargestPinnedFile + 1);
    const auto count = platform::ReadFileStart(path, {buffer.get(), kLargestPinnedFile + 1});
    if (!count)
        return util::Fail("it cannot be read (not a regular file, no access, or being written)");
    if (*count > kLargestPinnedFile) return util::Fail("it is larger than 64 KiB");
    return KeyFromPem(std::string_view(buffer.get(), *count));
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

namespace {

constexpr int kSmallestRsaBits = 2048;

std::string NameText(const X509_NAME* name) {
    const BioPtr bio = NewMemoryBio();
    if (!bio || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253) < 0) return "?";
    return util::Printable(MemoryBioText(bio.get()));
}

std::string DateText(const ASN1_TIME* time) {
    std::tm parts = {};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1) return "?";
    char text[16];
    return std::strftime(text, sizeof text, "%Y-%m-%d", &parts) ? text : "?";
}

// Days from now to time, a part day counted whole; negative once time has passed.
int DaysFromNow(const ASN1_TIME* time) {
    int days = 0;
    int seconds = 0;
    if (!time || ASN1_TIME_diff(&days, &seconds, nullptr, time) != 1) return 0;
    return days + (seconds > 0 ? 1 : 0) - (seconds < 0 ? 1 : 0);
}

}  // namespace

util::Expected<std::string> PublicKeyPin(X509* certificate) {
    unsigned char* der = nullptr;
    const int derLength = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (derLength <= 0) return util::Fail("its public key cannot be read");
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    const bool hashed = EVP_Digest(der, static_cast<std::size_t>(derLength), digest, &digestLength,
                                   EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    if (!hashed) return util::Fail("its public key cannot be hashed");
    std::vector<unsigned char> base64(4 * ((digestLength + 2) / 3) + 1);
    const int base64Length = EVP_EncodeBlock(base64.data(), digest, static_cast<int>(digestLength));
    return "sha256//" + std::string(base64.begin(), base64.begin() + base64Length);
}

CertificateFacts DescribeCertificate(X509* certificate) {
    util::Expected<std::string> pin = PublicKeyPin(certificate);
    return {
        NameText(X509_get_subject_name(certificate)), NameText(X509_get_issuer_name(certificate)),
        DateText(X509_get0_notBefore(certificate)),   DateText(X509_get0_notAfter(certificate)),
        DaysFromNow(X509_get0_notAfter(certificate)), pin ? std::move(*pin) : std::string()};
}

util::Expected<std::string> PemOf(X509* certificate) {
    const BioPtr bio = NewMemoryBio();
    if (!bio || !certificate || PEM_write_bio_X509(bio.get(), certificate) != 1)
        return util::Fail("it cannot be written in PEM form");
    return MemoryBioText(bio.get());
}

util::Expected<void> TrustedOnFirstContact(X509* certificate) {
    if (X509_cmp_current_time(X509_get0_notAfter(certificate)) <= 0)
        return util::Fail("it expired on " + DateText(X509_get0_notAfter(certificate)));
    if (X509_cmp_current_time(X509_get0_notBefore(certificate)) >= 0)
        return util::Fail("it is not valid before " + DateText(X509_get0_notBefore(certificate)));

    const EVP_PKEY* key = X509_get0_pubkey(certificate);
    if (!key) return util::Fail("its public key cannot be read");
    const int type = EVP_PKEY_get_base_id(key);
    const int bits = EVP_PKEY_get_bits(key);
    if ((type == EVP_PKEY_RSA || type == EVP_PKEY_RSA_PSS) && bits < kSmallestRsaBits)
        return util::Fail("its RSA key has " + std::to_string(bits) + " bits, fewer than " +
                          std::to_string(kSmallestRsaBits));

    int digest = NID_undef;
    if (X509_get_signature_info(certificate, &digest, nullptr, nullptr, nullptr) != 1)
        return util::Fail("its signature algorithm is not known");
    if (digest == NID_sha1 || digest == NID_md5 || digest == NID_md5_sha1 || digest == NID_md4 ||
        digest == NID_md2)
        return util::Fail(std::string("it is signed with ") + OBJ_nid2sn(digest) +
                          ", a digest whose signatures can be forged");
    const util::Expected<std::string> pem = PemOf(certificate);
    if (!pem) return util::Fail(pem.Error());
    if (pem->size() > kLargestPinnedFile)
        return util::Fail(
            "its PEM form is larger than 64 KiB, more than the pinned certificate file may hold");
    return {};
}

}  // namespace Ardentis
