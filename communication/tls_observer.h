// What a transfer learns during its TLS handshake, through libcurl's OpenSSL hook: the
// certificate the server presented, the protocol and cipher, and on first contact the
// verdict of the first-contact rules, given before a byte of the request is sent.
#pragma once

#include <curl/curl.h>

#include <string>

#include "communication/openssl_handles.h"

namespace Ardentis {

struct TlsObservation {
    bool firstContact = false;  // apply FirstContactRefusal and end the handshake on it
    std::string refusal;        // why first contact refused the certificate
    CertificatePtr leaf;        // the server's own certificate, of the first handshake
    bool leafChanged = false;   // a later handshake presented another one; it was refused
    std::string version;        // "TLSv1.3"
    std::string cipher;
};

// Lets the transfers of curl fill observation, which must outlive them.
void ObserveTls(CURL* curl, TlsObservation& observation);

}  // namespace Ardentis
