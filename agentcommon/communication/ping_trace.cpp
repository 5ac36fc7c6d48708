#include "agentcommon/communication/ping_trace.h"

#include <log4cxx/logger.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "agentcommon/communication/name_lookup.h"
#include "agentcommon/communication/server_text.h"

namespace Ardentis {
namespace {

constexpr int kExpiryWarningDays = 30;
constexpr long kClockToleranceSeconds = 5 * 60;
constexpr std::size_t kShortPin = 8 + 12;  // "sha256//" and 12 of the 44 base64 digits
constexpr char kCertificateFile[] = "config/ConfigurationServer.PEM";

log4cxx::LoggerPtr Log() {
    return log4cxx::Logger::getLogger("Ardentis.Connection");
}

double Milliseconds(CURL* curl, CURLINFO what) {
    curl_off_t microseconds = 0;
    curl_easy_getinfo(curl, what, &microseconds);
    return static_cast<double>(microseconds) / 1000.0;
}

std::string Format(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string UtcText(std::time_t time) {
    std::tm parts = {};
#ifdef _WIN32
    gmtime_s(&parts, &time);
#else
    gmtime_r(&time, &parts);
#endif
    char text[32];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) ? text : "?";
}

std::string Short(const std::string& pin) {
    return pin.size() > kShortPin ? pin.substr(0, kShortPin) + "..." : pin;
}

}  // namespace

const char* FailedStep(std::int32_t code, long status) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "the name lookup";
        case CURLE_COULDNT_CONNECT:
            return "the connection";
        case CURLE_SSL_CONNECT_ERROR:
            return "the TLS handshake";
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return "the server's certificate";
        case CURLE_OPERATION_TIMEDOUT:
            return "waiting for the server";
        case CURLE_HTTP_RETURNED_ERROR:
            return status == 401 || status == 403 ? "the credentials" : "the HTTP status";
        default:
            return "the transfer";
    }
}

namespace {

void LogSteps(CURL* curl, const PingTrace& trace, const CertificateFacts* facts) {
    const auto log = Log();
    if (trace.proxy.empty())
        LOG4CXX_INFO(log, "Name lookup: " << trace.host << ": " << DescribeLookup(trace.host));
    else
        LOG4CXX_INFO(log, "Name lookup: left to the proxy " << trace.proxy);

    char* ip = nullptr;
    long port = 0;
    curl_easy_getinfo(curl, CURLINFO_PRIMARY_IP, &ip);
    curl_easy_getinfo(curl, CURLINFO_PRIMARY_PORT, &port);
    if (ip && *ip)
        LOG4CXX_INFO(log, "Connected to "
                              << ip << " port " << port << ", "
                              << (trace.proxy.empty() ? "direct" : "proxy " + trace.proxy));

    const TlsObservation& tls = *trace.tls;
    if (!tls.version.empty())
        LOG4CXX_INFO(log, "TLS: " << tls.version << ", cipher " << tls.cipher);
    if (facts)
        LOG4CXX_INFO(log, "Server certificate: subject "
                              << facts->subject << ", issuer " << facts->issuer << ", valid "
                              << facts->notBefore << " to " << facts->notAfter << ", key "
                              << facts->pin);
    if (!trace.pinnedKey.empty()) LOG4CXX_INFO(log, "Pinned key: " << trace.pinnedKey);

    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 0) LOG4CXX_INFO(log, "HTTP status: " << status);
    // libcurl keeps the times of the steps only for a transfer that got an answer.
    const std::string total = Format("%.1f", Milliseconds(curl, CURLINFO_TOTAL_TIME_T));
    if (status == 0) {
        LOG4CXX_INFO(log, "Times: total " << total << " ms");
        return;
    }
    LOG4CXX_INFO(log, "Times: name lookup "
                          << Format("%.1f", Milliseconds(curl, CURLINFO_NAMELOOKUP_TIME_T))
                          << " ms, connect "
                          << Format("%.1f", Milliseconds(curl, CURLINFO_CONNECT_TIME_T))
                          << " ms, TLS handshake "
                          << Format("%.1f", Milliseconds(curl, CURLINFO_APPCONNECT_TIME_T))
                          << " ms, first byte "
                          << Format("%.1f", Milliseconds(curl, CURLINFO_STARTTRANSFER_TIME_T))
                          << " ms, total " << total << " ms");
}

void LogCertificateWarnings(const PingTrace& trace, const CertificateFacts& facts,
                            const PingError& error) {
    const auto log = Log();
    if (error.code == CURLE_SSL_PINNEDPUBKEYNOTMATCH) {
        LOG4CXX_ERROR(log, "Pin mismatch: the server presents key "
                               << facts.pin << " (subject " << facts.subject << ", issuer "
                               << facts.issuer << ") but " << kCertificateFile << " pins "
                               << trace.pinnedKey
                               << ". Compare the presented key with the server's owner; if it "
                                  "is theirs, remove "
                               << kCertificateFile << " to pin it at the next ping");
        return;
    }
    if (!trace.tls->refusal.empty()) return;  // the refusal itself says it
    if (facts.daysLeft < 0)
        LOG4CXX_ERROR(log, "The server's certificate expired on "
                               << facts.notAfter
                               << "; its key is still pinned, but ask the server's owner to renew "
                                  "it");
    else if (facts.daysLeft <= kExpiryWarningDays)
        LOG4CXX_WARN(log, "The server's certificate expires on "
                              << facts.notAfter << ", in " << facts.daysLeft
                              << (facts.daysLeft == 1 ? " day" : " days")
                              << "; ask the server's owner to renew it (a new key means "
                                 "removing "
                              << kCertificateFile << " after checking the new one)");
}

void LogClockAndSpeed(CURL* curl, const PingTrace& trace) {
    const auto log = Log();
    if (!trace.date.empty()) {
        const std::time_t server = curl_getdate(trace.date.c_str(), nullptr);
        const std::time_t local = std::time(nullptr);
        if (server != -1 && std::labs(static_cast<long>(server - local)) > kClockToleranceSeconds)
            LOG4CXX_WARN(log, "Clock: the server's time is "
                                  << UtcText(server) << ", this machine's " << UtcText(local)
                                  << "; certificate and token checks fail on a wrong clock: "
                                     "set the right time on whichever is wrong");
    }
    const double total = Milliseconds(curl, CURLINFO_TOTAL_TIME_T);
    if (total > static_cast<double>(trace.timeoutSeconds) * 500.0)
        LOG4CXX_WARN(log, "Slow answer: the ping took "
                              << Format("%.0f", total) << " ms, more than half of its timeout of "
                              << trace.timeoutSeconds
                              << " s (ConfigurationServerTimeout); check the network or the "
                                 "server's load");
}

}  // namespace

void LogPingTrace(CURL* curl, const PingTrace& trace, const PingError& error) {
    std::optional<CertificateFacts> facts;
    if (trace.tls->leaf) facts = DescribeCertificate(trace.tls->leaf.get());
    LogSteps(curl, trace, facts ? &*facts : nullptr);
    if (facts) LogCertificateWarnings(trace, *facts, error);
    LogClockAndSpeed(curl, trace);
}

void LogCheckPassed(CURL* curl, const PingTrace& trace, const std::string& key) {
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    LOG4CXX_INFO(Log(), "Check passed: the configuration server answered "
                            << status << " in "
                            << Format("%.0f", Milliseconds(curl, CURLINFO_TOTAL_TIME_T))
                            << " ms over " << trace.tls->version << ", " << key);
}

void LogCheckFailed(const char* step, const PingError& error) {
    LOG4CXX_ERROR(Log(),
                  "Check failed at " << step << " (error " << error.code << "): " << error.message);
}

std::string PinMismatchMessage(const std::string& hostPort, const std::string& presented,
                               const std::string& pinned) {
    return "The configuration server at " + hostPort + " presents key " + Short(presented) +
           ", not the key " + Short(pinned) + " pinned in " + kCertificateFile +
           "; compare the presented key with the server's owner, then remove " + kCertificateFile +
           " to pin again";
}

}  // namespace Ardentis
