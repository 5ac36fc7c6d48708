// What a transfer learns during its TLS handshake, through libcurl's OpenSSL hook: the
// certificate the server presented, the protocol and cipher, what the server refused or
// asked for, and on first contact the verdict of the first-contact rules, given before a
// byte of the request is sent. libcurl calls the hook for the handshake with an https://
// proxy too: that one is left to libcurl, which checks the proxy's certificate against the
// system's certificate authorities.
#pragma once

#include <curl/curl.h>

#include <string>

#include "communication/openssl_handles.h"
#include "communication/ping_facts.h"

namespace Ardentis {

struct TlsObservation {
    const PingProxy* proxy = nullptr;   // the route's proxy: its own handshake is not observed
    bool firstContact = false;          // apply TrustedOnFirstContact and end the handshake on it
    std::string refusal;                // why first contact refused the certificate, or empty
    CertificatePtr leaf;                // the server's own certificate, of the first handshake
    bool leafChanged = false;           // a later handshake presented another one; it was refused
    std::string version;                // "TLSv1.3", once the handshake is done
    std::string cipher;                 // the cipher in force, once the handshake is done
    int alertReceived = -1;             // the fatal alert the server sent; -1 none
    bool certificateRequested = false;  // the server asked for a client certificate
    bool renegotiationRefused = false;  // the server asked to renegotiate and was refused
};

// Lets the transfers of curl fill observation, which must outlive them.
void ObserveTls(CURL* curl, TlsObservation& observation);

}  // namespace Ardentis
