#include "communication/tls_observer.h"

#include "communication/certificate_facts.h"

#include <openssl/ssl.h>

namespace Ardentis {
namespace {

// Replaces OpenSSL's chain verification: no certificate authority takes part, so the chain
// is never verified; trust comes from the pin, which libcurl checks after the handshake,
// or on first contact from the rules applied here.
int OnServerCertificate(X509_STORE_CTX* store, void* user) {
    auto* observation = static_cast<TlsObservation*>(user);
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (!leaf) return 0;
    // Renegotiation is off, but should a second handshake come anyway, the certificate
    // that is checked and pinned stays the first one, and another one ends the transfer.
    if (observation->leaf) {
        observation->leafChanged = X509_cmp(observation->leaf.get(), leaf) != 0;
        return observation->leafChanged ? 0 : 1;
    }
    X509_up_ref(leaf);
    observation->leaf.reset(leaf);
    if (const auto* ssl = static_cast<const SSL*>(
            X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()))) {
        observation->version = SSL_get_version(ssl);
        if (const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl))
            observation->cipher = SSL_CIPHER_get_name(cipher);
    }
    if (observation->firstContact) observation->refusal = FirstContactRefusal(leaf);
    return observation->refusal.empty() ? 1 : 0;
}

CURLcode OnSslContext(CURL*, void* context, void* user) {
    auto* ssl = static_cast<SSL_CTX*>(context);
    // A renegotiation could present a second certificate after the first was checked.
    SSL_CTX_set_options(ssl, SSL_OP_NO_RENEGOTIATION);
    // The verification mode makes OpenSSL end the handshake when the callback says no.
    SSL_CTX_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(ssl, OnServerCertificate, user);
    return CURLE_OK;
}

}  // namespace

void ObserveTls(CURL* curl, TlsObservation& observation) {
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, OnSslContext);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &observation);
}

}  // namespace Ardentis
