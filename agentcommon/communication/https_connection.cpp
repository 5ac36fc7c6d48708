#include "agentcommon/communication/https_connection.h"

#include <curl/curl.h>
#include <log4cxx/logger.h>

#include <memory>

#include "agentcommon/communication/connection_settings.h"
#include "agentcommon/communication/pinned_certificate.h"
#include "agentcommon/communication/server_address.h"
#include "agentcommon/communication/transfer_outcome.h"
#include "platform/file_status.h"
#include "platform/file_write.h"

namespace Ardentis {
namespace {

// Only this much of an answer's body is read; a longer one ends the transfer.
constexpr std::size_t kLargestBody = 64 * 1024;
constexpr char kCertificateFile[] = "config/ConfigurationServer.PEM";  // as the report names it

log4cxx::LoggerPtr Log() {
    return log4cxx::Logger::getLogger("Ardentis.Connection");
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* record = static_cast<TransferRecord*>(user);
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
        record->statusLine = line;
        record->headersEnded = false;
    } else if (line.empty()) {
        record->headersEnded = true;
    }
    return size * count;
}

std::size_t OnBody(char*, std::size_t size, std::size_t count, void* user) {
    auto* record = static_cast<TransferRecord*>(user);
    record->bodyBytes += size * count;
    if (record->bodyBytes <= kLargestBody) return size * count;
    record->bodyCut = true;
    return 0;  // ends the transfer
}

// The server's own certificate in PEM form, from the transfer's certificate chain.
std::string ServerCertificate(CURL* curl) {
    curl_certinfo* chain = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &chain) != CURLE_OK || !chain ||
        chain->num_of_certs < 1)
        return {};
    for (curl_slist* field = chain->certinfo[0]; field; field = field->next) {
        const std::string_view text(field->data);
        if (text.starts_with("Cert:")) return std::string(text.substr(5));
    }
    return {};
}

void TrustOnFirstUse(CURL* curl, const std::wstring& path, const std::string& where) {
    const std::string pem = ServerCertificate(curl);
    const CertificatePin pin = PinFromPem(pem);
    if (!pin.error.empty()) {
        LOG4CXX_ERROR(Log(), "Cannot keep the certificate of " << where << ": " << pin.error);
        return;
    }
    const std::string error = platform::WriteNewFileAtomically(path, pem);
    if (!error.empty()) {
        LOG4CXX_ERROR(Log(), "Cannot save the certificate of "
                                 << where << " to " << kCertificateFile << ": " << error);
        return;
    }
    LOG4CXX_WARN(Log(), "First contact with " << where << ": trusting its certificate (public key "
                                              << pin.pin << ") and pinning it in "
                                              << kCertificateFile);
}

}  // namespace

bool HttpsConnection::Finish(std::int32_t errorCode, std::string message) {
    errorCode_ = errorCode;
    errorMessage_ = std::move(message);
    if (errorCode == 0)
        LOG4CXX_INFO(Log(), "Ping answered with status " << responseCode_);
    else
        LOG4CXX_ERROR(Log(), "Ping failed with error " << errorCode << ": " << errorMessage_);
    return errorCode == 0;
}

bool HttpsConnection::Ping() {
    responseCode_ = 0;
    const ConnectionSettings settings = LoadConnectionSettings();
    const ServerAddress address = ParseServerAddress(settings.server);
    if (address.errorCode != 0) return Finish(address.errorCode, address.error);

    const std::wstring certificatePath = GetConfigPath() + L"/ConfigurationServer.PEM";
    platform::RemoveInterruptedWrites(certificatePath);
    const bool pinned = platform::PathExists(certificatePath);
    CertificatePin pin;
    if (pinned) {
        pin = ReadPinnedCertificate(certificatePath);
        if (!pin.error.empty())
            return Finish(CURLE_SSL_CACERT_BADFILE,
                          std::string(kCertificateFile) + " cannot be used: " + pin.error +
                              "; replace it with the configuration server's certificate in PEM "
                              "form, or delete it so that the next ping trusts the server");
    }

    const std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return Finish(CURLE_FAILED_INIT, "Cannot start a transfer");
    const std::string authorization = "Authorization: Bearer " + settings.token;
    const std::unique_ptr<curl_slist, CurlDeleter> headers(
        curl_slist_append(nullptr, authorization.c_str()));
    char detail[CURL_ERROR_SIZE] = {};
    TransferRecord record;

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, address.pingUrl.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_USERAGENT, "CorvaneCommon/" CORVANE_COMMON_VERSION);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, settings.timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &record);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &record);
    // Trust comes from the pinned key, or on first contact from the operator's choice of
    // server, whose certificate must then at least name the address we dialled. No
    // certificate authority takes part, so none is loaded.
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, pinned ? 0L : 2L);
    curl_easy_setopt(c, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(c, CURLOPT_CAPATH, nullptr);
    if (pinned)
        curl_easy_setopt(c, CURLOPT_PINNEDPUBLICKEY, pin.pin.c_str());
    else
        curl_easy_setopt(c, CURLOPT_CERTINFO, 1L);

    LOG4CXX_INFO(Log(), "Pinging " << address.pingUrl << " (connect timeout "
                                   << settings.connectTimeoutSeconds << " s, timeout "
                                   << settings.timeoutSeconds << " s, "
                                   << (pinned ? "pinned certificate" : "first contact") << ")");
    const CURLcode result = curl_easy_perform(c);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    responseCode_ = static_cast<std::int32_t>(status);

    const PingError error = ClassifyTransfer(result, status, record, address.hostPort, detail);
    if (error.code != 0) return Finish(error.code, error.message);
    if (!pinned) TrustOnFirstUse(c, certificatePath, address.hostPort);
    return Finish(0, {});
}

}  // namespace Ardentis
