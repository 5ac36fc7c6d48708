#include "communication/tls_observer.h"

#include "communication/server_certificate.h"

#include <openssl/ssl.h>

#include <string_view>

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
    if (!observation->firstContact) return 1;
    const util::Expected<void> trusted = TrustedOnFirstContact(leaf);
    if (trusted) return 1;
    observation->refusal = trusted.Error().reason;
    return 0;
}

// The observation of a context's connections, for OpenSSL's callbacks that take no data.
int ObservationIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

TlsObservation* ObservationOf(const SSL* ssl) {
    return static_cast<TlsObservation*>(
        SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), ObservationIndex()));
}

// The version and cipher are read once the handshake is done: before that, a TLS 1.2
// connection has no cipher in force. The alerts tell what the server refused.
void OnTlsEvent(const SSL* ssl, int where, int value) {
    TlsObservation* observation = ObservationOf(ssl);
    if (!observation) return;
    if (where & SSL_CB_HANDSHAKE_DONE) {
        observation->version = SSL_get_version(ssl);
        if (const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl))
            observation->cipher = SSL_CIPHER_get_name(cipher);
    } else if ((where & SSL_CB_READ_ALERT) == SSL_CB_READ_ALERT &&
               std::string_view(SSL_alert_type_string(value)) == "F") {
        observation->alertReceived = value & 0xff;
    } else if ((where & SSL_CB_WRITE_ALERT) == SSL_CB_WRITE_ALERT &&
               (value & 0xff) == SSL_AD_NO_RENEGOTIATION) {
        observation->renegotiationRefused = true;
    }
}

// The check has no client certificate: it notes that one was asked for and sends none.
int OnCertificateRequest(SSL* ssl, X509**, EVP_PKEY**) {
    if (TlsObservation* observation = ObservationOf(ssl)) observation->certificateRequested = true;
    return 0;
}

CURLcode OnSslContext(CURL*, void* context, void* user) {
    auto* ssl = static_cast<SSL_CTX*>(context);
    // Before its tunnel is open, a handshake through an https:// proxy is the proxy's.
    const PingProxy* proxy = static_cast<TlsObservation*>(user)->proxy;
    if (proxy && proxy->httpsScheme && !proxy->tunnelOpen) return CURLE_OK;
    if (ObservationIndex() < 0 || !SSL_CTX_set_ex_data(ssl, ObservationIndex(), user))
        return CURLE_SSL_CONNECT_ERROR;
    SSL_CTX_set_info_callback(ssl, OnTlsEvent);
    SSL_CTX_set_client_cert_cb(ssl, OnCertificateRequest);
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
