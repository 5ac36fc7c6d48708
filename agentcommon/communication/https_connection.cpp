#include "agentcommon/communication/https_connection.h"

#include <curl/curl.h>
#include <log4cxx/logger.h>
#include <openssl/pem.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "agentcommon/communication/connection_settings.h"
#include "agentcommon/communication/ping_trace.h"
#include "agentcommon/communication/pinned_certificate.h"
#include "agentcommon/communication/server_address.h"
#include "agentcommon/communication/server_text.h"
#include "agentcommon/communication/tls_observer.h"
#include "agentcommon/communication/transfer_outcome.h"
#include "platform/file_status.h"
#include "platform/file_write.h"

namespace Ardentis {
namespace {

// Only this much of an answer's body is read; a longer one ends the transfer.
constexpr std::size_t kLargestBody = 64 * 1024;
constexpr char kCertificateFile[] = "config/ConfigurationServer.PEM";  // as the report names it
// libcurl's words when it takes a proxy from the environment.
constexpr std::string_view kProxyNote = "Uses proxy env variable ";

log4cxx::LoggerPtr Log() {
    return log4cxx::Logger::getLogger("Ardentis.Connection");
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
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
    } else if (line.size() > 5 && curl_strnequal(line.data(), "Date:", 5)) {
        record->date = line.substr(5);
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

// A proxy setting without its credentials, printable.
std::string WithoutCredentials(const std::string& proxy) {
    const std::unique_ptr<CURLU, CurlDeleter> url(curl_url());
    char* text = nullptr;
    if (!url ||
        curl_url_set(url.get(), CURLUPART_URL, proxy.c_str(),
                     CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_USER, nullptr, 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PASSWORD, nullptr, 0) != CURLUE_OK ||
        curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK)
        return "(a proxy setting that is not a URL)";
    std::string clean = Printable(text);
    curl_free(text);
    return clean;
}

// libcurl's notes on the transfer; only the proxy it took from the environment is kept.
// Never looks at the data that went out: the request holds the token.
int OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
    std::string_view text(data, size);
    if (type != CURLINFO_TEXT || !text.starts_with(kProxyNote)) return 0;
    const std::size_t start = text.find("'");
    const std::size_t end = text.rfind("'");
    if (start != std::string_view::npos && end > start)
        *static_cast<std::string*>(user) =
            WithoutCredentials(std::string(text.substr(start + 1, end - start - 1)));
    return 0;
}

std::string PemOf(X509* certificate) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || !certificate || PEM_write_bio_X509(bio.get(), certificate) != 1) return {};
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

// Saves the server's certificate as the pin; returns the key text for the closing line.
std::string TrustOnFirstUse(X509* certificate, platform::NewFile& file, const PingTrace& trace) {
    const std::string pem = PemOf(certificate);
    const CertificatePin pin = PinFromPem(pem);
    if (!pin.error.empty()) {
        LOG4CXX_ERROR(Log(),
                      "Cannot keep the certificate of " << trace.hostPort << ": " << pin.error);
        return "key not pinned";
    }
    const std::string error = file.Commit(pem);
    if (!error.empty()) {
        LOG4CXX_ERROR(Log(), "Cannot save the certificate of "
                                 << trace.hostPort << " to " << kCertificateFile << ": " << error);
        return "key " + pin.pin + " not pinned";
    }
    LOG4CXX_WARN(Log(),
                 "First contact with "
                     << trace.hostPort << ": trusting its certificate (public key " << pin.pin
                     << "), taken over "
                     << (trace.proxy.empty() ? "a direct connection" : "the proxy " + trace.proxy)
                     << ", and pinning it in " << kCertificateFile);
    return "key now pinned " + pin.pin;
}

}  // namespace

bool HttpsConnection::Finish(std::int32_t errorCode, std::string message, const char* step) {
    errorCode_ = errorCode;
    errorMessage_ = std::move(message);
    if (errorCode != 0) LogCheckFailed(step, {errorCode, errorMessage_});
    return errorCode == 0;
}

bool HttpsConnection::Ping() {
    constexpr const char* kConfiguration = "the configuration";
    responseCode_ = 0;
    const ConnectionSettings settings = LoadConnectionSettings();
    if (std::any_of(settings.token.begin(), settings.token.end(), IsControlByte))
        return Finish(CURLE_BAD_FUNCTION_ARGUMENT,
                      "ApplicationToken in install_config.txt holds a control character (such as "
                      "a carriage return or a tab); the ping is refused so that nothing else "
                      "goes out with it: write the token alone on its line",
                      kConfiguration);
    const ServerAddress address = ParseServerAddress(settings.server);
    if (address.errorCode != 0) return Finish(address.errorCode, address.error, kConfiguration);

    // Anything at the certificate's path counts as a pin, so that a name that is taken
    // can never switch pinning off; what cannot be read as a certificate stops the ping.
    const std::wstring certificatePath = GetConfigPath() + L"/ConfigurationServer.PEM";
    platform::RemoveInterruptedWrites(certificatePath);
    const bool pinned = platform::PathTaken(certificatePath);
    CertificatePin pin;
    if (pinned) {
        pin = ReadPinnedCertificate(certificatePath);
        if (!pin.error.empty())
            return Finish(CURLE_SSL_CACERT_BADFILE,
                          std::string(kCertificateFile) + " cannot be used: " + pin.error +
                              "; replace it with the configuration server's certificate in PEM "
                              "form, or delete it so that the next ping trusts the server",
                          "the pinned certificate file");
    }

    // First contact must be able to keep what it trusts: otherwise every run would send
    // the token to whichever certificate answers and keep nothing. The file is made
    // before anything is sent.
    std::optional<platform::NewFile> pinFile;
    if (!pinned) {
        pinFile.emplace(certificatePath);
        if (!pinFile->Error().empty())
            return Finish(CURLE_WRITE_ERROR,
                          std::string(kCertificateFile) + " cannot be written (" +
                              pinFile->Error() +
                              "), so the server's certificate could not be pinned on first "
                              "contact and nothing was sent; run the check as a member of the "
                              "agent's group, or put the configuration server's certificate "
                              "there in PEM form",
                          "the pinned certificate file");
    }

    const std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return Finish(CURLE_FAILED_INIT, "Cannot start a transfer", "the transfer");
    const std::string authorization = "Authorization: Bearer " + settings.token;
    const std::unique_ptr<curl_slist, CurlDeleter> headers(
        curl_slist_append(nullptr, authorization.c_str()));
    char detail[CURL_ERROR_SIZE] = {};
    TransferRecord record;
    TlsObservation tls;
    tls.firstContact = !pinned;
    PingTrace trace{.host = address.host,
                    .hostPort = address.hostPort,
                    .proxy = {},  // filled in by libcurl's notes (OnDebug)
                    .pinnedKey = pin.pin,
                    .tls = &tls,
                    .date = {},  // from the answer's headers
                    .timeoutSeconds = settings.timeoutSeconds};

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, address.pingUrl.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // Set here, not left to a system file: Windows has none.
    curl_easy_setopt(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
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
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &trace.proxy);
    // Trust comes from the pinned key, or on first contact from the operator's choice of
    // server, whose certificate must then name the address we dialled and pass the rules
    // of first contact. No certificate authority takes part, so none is loaded.
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, pinned ? 0L : 2L);
    curl_easy_setopt(c, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(c, CURLOPT_CAPATH, nullptr);
    if (pinned) curl_easy_setopt(c, CURLOPT_PINNEDPUBLICKEY, pin.pin.c_str());
    ObserveTls(c, tls);

    LOG4CXX_INFO(Log(), "Pinging " << address.pingUrl << " (connect timeout "
                                   << settings.connectTimeoutSeconds << " s, timeout "
                                   << settings.timeoutSeconds << " s, "
                                   << (pinned ? "pinned certificate" : "first contact") << ")");
    const CURLcode result = curl_easy_perform(c);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    responseCode_ = static_cast<std::int32_t>(status);
    trace.date = Printable(record.date);

    PingError error = ClassifyTransfer(result, status, record, address.hostPort, detail);
    if (!tls.refusal.empty())
        error = {CURLE_PEER_FAILED_VERIFICATION,
                 "The certificate of the configuration server at " + address.hostPort +
                     " is refused on first contact: " + tls.refusal +
                     "; nothing was sent and nothing pinned"};
    else if (tls.leafChanged)
        error = {CURLE_PEER_FAILED_VERIFICATION,
                 "The configuration server at " + address.hostPort +
                     " presented a second, different certificate in the same connection; the "
                     "ping was ended and nothing pinned"};
    else if (error.code == CURLE_SSL_PINNEDPUBKEYNOTMATCH && tls.leaf)
        error.message = PinMismatchMessage(address.hostPort, PublicKeyPin(tls.leaf.get()), pin.pin);
    LogPingTrace(c, trace, error);
    if (error.code != 0)
        return Finish(error.code, std::move(error.message), FailedStep(error.code, status));

    const std::string key =
        pinned ? "pinned key " + pin.pin : TrustOnFirstUse(tls.leaf.get(), *pinFile, trace);
    LogCheckPassed(c, trace, key);
    return Finish(0, {}, nullptr);
}

}  // namespace Ardentis
