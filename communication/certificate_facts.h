// What the connection reads of a server certificate: its public-key pin, what the log
// shows of it, and the rules a certificate must meet to be trusted on first contact.
#pragma once

#include <openssl/x509.h>

#include <cstddef>
#include <string>

#include "util/expected.h"

namespace Ardentis {

// The most the pinned certificate file may hold: a certificate, even with a long chain, is
// far smaller.
inline constexpr std::size_t kLargestPinnedFile = 64 * 1024;

struct CertificateFacts {
    std::string subject;    // RFC 2253 form, printable
    std::string issuer;     // the same
    std::string notBefore;  // YYYY-MM-DD
    std::string notAfter;   // YYYY-MM-DD
    int daysLeft = 0;       // days until notAfter, a part day counted whole; < 0 once passed
    std::string pin;        // the public key's pin, see PublicKeyPin; empty when unreadable
};

// "sha256//" and the base64 of the SHA-256 of the DER public key (SubjectPublicKeyInfo),
// the form libcurl compares, or why the key cannot be read.
util::Expected<std::string> PublicKeyPin(X509* certificate);

CertificateFacts DescribeCertificate(X509* certificate);

// The certificate in PEM form, or why it cannot be written.
util::Expected<std::string> PemOf(X509* certificate);

// Whether a certificate seen for the first time may be trusted; the error says why not,
// for the report: outside its validity dates, an RSA key under 2048 bits, a signature
// made with SHA-1, MD5 or an older digest, or a PEM form larger than the pinned file may
// hold (it would be pinned and then refused at every later run).
util::Expected<void> TrustedOnFirstContact(X509* certificate);

}  // namespace Ardentis
