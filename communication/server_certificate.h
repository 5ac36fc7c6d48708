// The configuration server's certificate: what the connection reads of it (its public-key
// pin, what the log shows of it), the rules a certificate must meet to be trusted on first
// contact, and the pin: trusted on first use and pinned afterwards in
// kPinnedCertificateFile (agentcommon/CorvaneCommon.h).
#pragma once

#include <openssl/x509.h>

#include <string>
#include <string_view>

#include "communication/ping_facts.h"
#include "communication/ping_trace.h"
#include "platform/file_write.h"
#include "util/expected.h"

namespace Ardentis {

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

// The public-key pin ("sha256//<base64>" of the public key, the form libcurl compares) of
// the first PEM certificate in pem, or why there is none (the reason, in words).
util::Expected<std::string> PinFromPem(std::string_view pem);

struct PinnedKey {
    std::string pin;
    std::string issuer;  // of the pinned certificate, printable: a proxy that inspects TLS
                         // presents certificates of its own issuer
};

// The pin of the pinned certificate file at path (a regular file of at most 64 KiB) and
// its certificate's issuer, or why it cannot be used.
util::Expected<PinnedKey> ReadPinnedCertificate(const std::wstring& path);

struct FirstPin {
    std::string key;  // for the verdict: "key now pinned sha256//..." or why not
    LogLine line;     // what became of the pin
};

// Trust on first use: saves certificate, which passed the first-contact rules in the ping
// that facts describe, through file as the pin.
FirstPin PinOnFirstContact(X509* certificate, platform::NewFile& file, const PingFacts& facts);

}  // namespace Ardentis
