// OpenSSL objects owned by the connection, each freed by its own function.
#pragma once

#include <openssl/bio.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace Ardentis {

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
    void operator()(T* object) const { Free(object); }
};

using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO, BIO_free_all>>;
using CertificatePtr = std::unique_ptr<X509, OpenSslDeleter<X509, X509_free>>;

// An empty memory BIO to write into; null when OpenSSL has no memory for it.
inline BioPtr NewMemoryBio() {
    return BioPtr(BIO_new(BIO_s_mem()));
}

// What was written into a memory BIO.
inline std::string MemoryBioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

}  // namespace Ardentis
