// The configuration server's certificate, trusted on first use and pinned afterwards.
#pragma once

#include <string>
#include <string_view>

namespace Ardentis {

struct CertificatePin {
    std::string pin;    // "sha256//<base64>" of the certificate's public key, for libcurl
    std::string error;  // why no pin could be made
};

// The public-key pin of the first PEM certificate in pem.
CertificatePin PinFromPem(std::string_view pem);

// Reads the pinned certificate file at path (a regular file of at most 64 KiB).
CertificatePin ReadPinnedCertificate(const std::wstring& path);

}  // namespace Ardentis
