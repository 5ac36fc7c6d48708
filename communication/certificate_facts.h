// What the connection reads of a server certificate: its public-key pin, what the log
// shows of it, and the rules a certificate must meet to be trusted on first contact.
#pragma once

#include <openssl/x509.h>

#include <string>

namespace Ardentis {

struct CertificateFacts {
    std::string subject;    // RFC 2253 form, printable
    std::string issuer;     // the same
    std::string notBefore;  // YYYY-MM-DD
    std::string notAfter;   // YYYY-MM-DD
    int daysLeft = 0;       // days until notAfter, a part day counted whole; < 0 once passed
    std::string pin;        // the public key's pin, see PublicKeyPin
};

// "sha256//" and the base64 of the SHA-256 of the DER public key (SubjectPublicKeyInfo),
// the form libcurl compares; empty when the key cannot be read.
std::string PublicKeyPin(X509* certificate);

CertificateFacts DescribeCertificate(X509* certificate);

// The certificate in PEM form; empty when it cannot be written.
std::string PemOf(X509* certificate);

// Why a certificate seen for the first time must not be trusted, or empty when it may be:
// outside its validity dates, an RSA key under 2048 bits, or a signature made with SHA-1,
// MD5 or an older digest.
std::string FirstContactRefusal(X509* certificate);

}  // namespace Ardentis
