#include "communication/https_connection.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "communication/connection_settings.h"
#include "communication/curl_handles.h"
#include "communication/ping_trace.h"
#include "communication/ping_verdict.h"
#include "communication/route_notes.h"
#include "communication/server_address.h"
#include "communication/server_certificate.h"
#include "communication/tls_observer.h"
#include "platform/file_status.h"
#include "platform/file_write.h"
#include "platform/module_pin.h"
#include "platform/name_lookup.h"
#include "platform/native_path.h"
#include "util/printable_text.h"

namespace Ardentis {
namespace {

// Only this much of an answer's body is read; a longer one ends the transfer.
constexpr std::size_t kLargestBody = 64 * 1024;

// libcurl is asked to look at the transfer at least this often. libcurl 7.88 does not
// watch the socket of the next address it tries after one timed out: the connection it
// made was noticed only at its next timer, up to a second later, which with a short
// connect timeout turned a live second address into a timeout.
constexpr int kLongestWaitMs = 100;

// curl_easy_perform, with libcurl looking at the transfer every kLongestWaitMs at least.
CURLcode PerformTransfer(CURL* curl) {
    const CurlMultiPtr multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), curl) != CURLM_OK)
        return curl_easy_perform(curl);
    CURLcode result = CURLE_FAILED_INIT;
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
        if (running > 0 &&
            curl_multi_poll(multi.get(), nullptr, 0, kLongestWaitMs, nullptr) != CURLM_OK)
            break;
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == curl)
            result = message->data.result;
    curl_multi_remove_handle(multi.get(), curl);
    return result;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* answer = static_cast<PingAnswer*>(user);
    answer->headerBytes += size * count;
    if (answer->headerBytes > kLargestHeaders) {
        answer->headersCut = true;
        return 0;  // ends the transfer
    }
    const std::string_view line = WithoutLineEnd(std::string_view(data, size * count));
    if (const std::optional<StatusLine> status = ReadStatusLine(line)) {
        answer->statusText = status->text;
        answer->headersEnded = false;
    } else if (line.empty()) {
        answer->headersEnded = true;
    } else if (line.size() > 5 && curl_strnequal(line.data(), "Date:", 5)) {
        answer->date = util::Printable(line.substr(5));
    }
    return size * count;
}

std::size_t OnBody(char*, std::size_t size, std::size_t count, void* user) {
    auto* answer = static_cast<PingAnswer*>(user);
    answer->bodyBytes += size * count;
    if (answer->bodyBytes <= kLargestBody) return size * count;
    answer->bodyCut = true;
    return 0;  // ends the transfer
}

std::int64_t Microseconds(CURL* curl, CURLINFO what) {
    curl_off_t microseconds = 0;
    curl_easy_getinfo(curl, what, &microseconds);
    return microseconds;
}

// What curl and the TLS observer learnt of the transfer that ended with result.
void TakeTransferFacts(CURL* curl, CURLcode result, const std::string& detail,
                       const TlsObservation& tls, PingFacts& facts) {
    facts.result = result;
    facts.detail = detail;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &facts.answer.status);

    PingRoute& route = facts.route;
    char* ip = nullptr;
    curl_easy_getinfo(curl, CURLINFO_PRIMARY_IP, &ip);
    curl_easy_getinfo(curl, CURLINFO_PRIMARY_PORT, &route.port);
    if (ip) route.ip = ip;

    facts.tls.version = tls.version;
    facts.tls.cipher = tls.cipher;
    if (tls.leaf) facts.tls.certificate = DescribeCertificate(tls.leaf.get());
    facts.tls.refusal = tls.refusal;
    facts.tls.certificateChanged = tls.leafChanged;
    facts.tls.alertReceived = tls.alertReceived;
    facts.tls.certificateRequested = tls.certificateRequested;
    facts.tls.renegotiationRefused = tls.renegotiationRefused;

    facts.times = {Microseconds(curl, CURLINFO_NAMELOOKUP_TIME_T),
                   Microseconds(curl, CURLINFO_CONNECT_TIME_T),
                   Microseconds(curl, CURLINFO_APPCONNECT_TIME_T),
                   Microseconds(curl, CURLINFO_STARTTRANSFER_TIME_T),
                   Microseconds(curl, CURLINFO_TOTAL_TIME_T)};
    if (!facts.answer.date.empty())
        facts.serverTime = curl_getdate(facts.answer.date.c_str(), nullptr);
    facts.localTime = std::time(nullptr);
}

// Why the name that failed at the lookup did not resolve, asked within what is left of
// the run's timeout: the resolver's own answer tells a name that does not exist from a
// resolver that failed.
void AskWhyLookupFailed(PingFacts& facts) {
    const std::string& host =
        facts.result == CURLE_COULDNT_RESOLVE_PROXY ? facts.route.proxy.host : facts.target.host;
    const std::int64_t left = facts.target.timeoutSeconds - 1 - facts.times.total / 1'000'000;
    if (host.empty() || left < 1 || !facts.route.proxy.settingProblem.empty()) return;
    facts.route.lookup = platform::WhyNameFails(host, left < 2 ? 1 : 2);
}

}  // namespace

bool HttpsConnection::Finish(PingError error) {
    error_ = std::move(error);
    if (error_.code != 0) WriteLog(CheckFailed(error_));
    return error_.code == 0;
}

bool HttpsConnection::Ping() {
    responseCode_ = 0;
    const ConnectionSettings settings = LoadConnectionSettings();
    if (std::any_of(settings.token.begin(), settings.token.end(), util::IsControlByte))
        return Finish(TokenRefused());
    const util::Expected<ServerAddress> address = ParseServerAddress(settings.server);
    if (!address) return Finish(AddressRefused(address.Error()));

    // Anything at the certificate's path counts as a pin, so that a name that is taken
    // can never switch pinning off; what cannot be read as a certificate stops the ping.
    const std::wstring certificatePath = PinnedCertificatePath();
    platform::RemoveInterruptedWrites(certificatePath);
    const bool pinned = platform::PathTaken(certificatePath);
    PinnedKey pin;
    if (pinned) {
        util::Expected<PinnedKey> read = ReadPinnedCertificate(certificatePath);
        if (!read) return Finish(PinnedFileUnusable(read.Error().reason));
        pin = std::move(*read);
    }

    // First contact must be able to keep what it trusts: otherwise every run would send
    // the token to whichever certificate answers and keep nothing. The file is made
    // before anything is sent.
    std::optional<platform::NewFile> pinFile;
    if (!pinned) {
        pinFile.emplace(certificatePath);
        if (!pinFile->Created())
            return Finish(PinnedFileUnwritable(pinFile->Created().Error().reason));
    }

    const CurlPtr curl(curl_easy_init());
    if (!curl) return Finish(TransferNotStarted());
    const std::string authorization = "Authorization: Bearer " + settings.token;
    const CurlListPtr headers(curl_slist_append(nullptr, authorization.c_str()));
    char detail[CURL_ERROR_SIZE] = {};
    PingFacts facts;
    facts.target = {address->host,
                    address->hostPort,
                    settings.timeoutSeconds,
                    settings.connectTimeoutSeconds,
                    pin.pin,
                    pin.issuer,
                    util::PrintableAsIs(platform::DisplayPath(certificatePath)),
                    {}};
    RouteNotes route{.route = facts.route, .proxySetting = {}};
    TlsObservation tls;
    tls.proxy = &facts.route.proxy;
    tls.firstContact = !pinned;

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, address->pingUrl.c_str());
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
    // A lookup that outlives the connect timeout is abandoned, not waited for: its thread
    // ends on its own or with the process (the module stays loaded for it, see below).
    curl_easy_setopt(c, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &facts.answer);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &facts.answer);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, OnRouteNote);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &route);
    // Trust comes from the pinned key, or on first contact from the operator's choice of
    // server, whose certificate must then name the address we dialled and pass the rules
    // of first contact. No certificate authority takes part, so none is loaded.
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, pinned ? 0L : 2L);
    curl_easy_setopt(c, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(c, CURLOPT_CAPATH, nullptr);
    if (pinned) curl_easy_setopt(c, CURLOPT_PINNEDPUBLICKEY, pin.pin.c_str());
    // Nothing goes out through a way other than the proxy the environment names.
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, OnOpenSocket);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, &route);
    curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, OnRequestReady);
    curl_easy_setopt(c, CURLOPT_PREREQDATA, &route);
    ObserveTls(c, tls);

    WriteLog(PingStarts(address->pingUrl, facts.target));
    const CURLcode result = PerformTransfer(c);
    // An abandoned lookup's thread may still run libcurl's code when the module is unloaded.
    if (result == CURLE_OPERATION_TIMEDOUT) platform::KeepModuleLoaded(&kLargestBody);
    FinishRoute(route, c, result);
    // libcurl's words may quote the proxy variable, password and all.
    TakeTransferFacts(c, result, LibcurlWords(detail, route.proxySetting), tls, facts);
    if (result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_COULDNT_RESOLVE_PROXY)
        AskWhyLookupFailed(facts);
    // Who may remove the pin, for the advice on a changed key: the user database is read
    // only then.
    if (result == CURLE_SSL_PINNEDPUBKEYNOTMATCH)
        if (const util::Expected<std::string> owner = platform::OwnerName(certificatePath))
            facts.target.pinnedOwner = util::Printable(*owner);
    responseCode_ = static_cast<std::int32_t>(facts.answer.status);

    PingError error = ClassifyTransfer(facts);
    WriteLog(PingTrace(facts, error));
    if (error.code != 0) return Finish(std::move(error));

    std::string key = "pinned key " + pin.pin;
    if (!pinned) {
        FirstPin kept = PinOnFirstContact(tls.leaf.get(), *pinFile, facts);
        WriteLog(kept.line);
        key = std::move(kept.key);
    }
    WriteLog(CheckPassed(facts, key));
    return Finish({});
}

}  // namespace Ardentis
