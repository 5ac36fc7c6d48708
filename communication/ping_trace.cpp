#include "communication/ping_trace.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>

#include "agentcommon/CorvaneCommon.h"
#include "communication/ping_verdict.h"
#include "communication/pinned_certificate.h"
#include "communication/route_trace.h"
#include "install/install_keys.h"

namespace Ardentis {
namespace {

constexpr int kExpiryWarningDays = 30;
constexpr long kClockToleranceSeconds = 5 * 60;
// An answer that takes more than this share of its timeout is worth a warning.
constexpr double kSlowShareOfTimeout = 0.5;

constexpr LogLine::Level kInfo = LogLine::Level::Info;
constexpr LogLine::Level kWarn = LogLine::Level::Warn;
constexpr LogLine::Level kError = LogLine::Level::Error;

double Milliseconds(std::int64_t microseconds) {
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

void AddSteps(const PingFacts& facts, std::vector<LogLine>& lines) {
    for (std::string& line : RouteTrace(facts)) lines.push_back({kInfo, std::move(line)});
    const PingRoute& route = facts.route;
    const std::string& proxy = route.proxy.url;
    if (!route.ip.empty())
        lines.push_back({kInfo, "Connected to " + route.ip + " port " + std::to_string(route.port) +
                                    ", " + (route.proxy.connected ? "proxy " + proxy : "direct")});

    const PingTls& tls = facts.tls;
    if (!tls.version.empty())
        lines.push_back({kInfo, "TLS: " + tls.version + ", cipher " + tls.cipher});
    if (const auto& certificate = tls.certificate)
        lines.push_back({kInfo, "Server certificate: subject " + certificate->subject +
                                    ", issuer " + certificate->issuer + ", valid " +
                                    certificate->notBefore + " to " + certificate->notAfter +
                                    ", key " + certificate->pin});
    if (!facts.target.pinnedKey.empty())
        lines.push_back({kInfo, "Pinned key: " + facts.target.pinnedKey});

    const long status = facts.answer.status;
    if (status != 0) lines.push_back({kInfo, "HTTP status: " + std::to_string(status)});
    const PingTimes& times = facts.times;
    const std::string total = Format("%.1f", Milliseconds(times.total));
    if (status == 0) {  // libcurl keeps the times of the steps only for an answer
        lines.push_back({kInfo, "Times: total " + total + " ms"});
        return;
    }
    lines.push_back({kInfo, "Times: name lookup " + Format("%.1f", Milliseconds(times.nameLookup)) +
                                " ms, connect " + Format("%.1f", Milliseconds(times.connect)) +
                                " ms, TLS handshake " +
                                Format("%.1f", Milliseconds(times.tlsHandshake)) +
                                " ms, first byte " + Format("%.1f", Milliseconds(times.firstByte)) +
                                " ms, total " + total + " ms"});
}

void AddCertificateWarnings(const PingFacts& facts, const PingError& error,
                            std::vector<LogLine>& lines) {
    const CertificateFacts& certificate = *facts.tls.certificate;
    const std::string file(kPinnedCertificateFile);
    if (error.code == CURLE_SSL_PINNEDPUBKEYNOTMATCH) {
        // Worded before RepinAdvice, and kept: operators search the log for it.
        const std::string mismatch = "Pin mismatch: the server presents key " + certificate.pin +
                                     " (subject " + certificate.subject + ", issuer " +
                                     certificate.issuer + ") but " + file + " pins " +
                                     facts.target.pinnedKey;
        lines.push_back(
            {kError, InspectionLikely(facts)
                         ? mismatch + " (issuer " + facts.target.pinnedIssuer +
                               "). The proxy most likely inspects TLS: keep the pin and ask for "
                               "an exemption"
                         : mismatch +
                               ". Compare the presented key with the server's owner; if it is "
                               "theirs, remove " +
                               file + " to pin it at the next ping"});
        return;
    }
    if (!facts.tls.refusal.empty()) return;  // the refusal itself says it
    if (certificate.daysLeft < 0)
        lines.push_back({kError, "The server's certificate expired on " + certificate.notAfter +
                                     "; its key is still pinned, but ask the server's owner to "
                                     "renew it"});
    else if (certificate.daysLeft <= kExpiryWarningDays)
        lines.push_back({kWarn, "The server's certificate expires on " + certificate.notAfter +
                                    ", in " + std::to_string(certificate.daysLeft) +
                                    (certificate.daysLeft == 1 ? " day" : " days") +
                                    "; ask the server's owner to renew it (with a new key: check "
                                    "it, then " +
                                    RepinAdvice() + ")"});
}

void AddClockAndSpeed(const PingFacts& facts, std::vector<LogLine>& lines) {
    if (facts.serverTime != -1 &&
        std::labs(static_cast<long>(facts.serverTime - facts.localTime)) > kClockToleranceSeconds)
        lines.push_back({kWarn, "Clock: the server's time is " + UtcText(facts.serverTime) +
                                    ", this machine's " + UtcText(facts.localTime) +
                                    "; certificate and token checks fail on a wrong clock: set "
                                    "the right time on whichever is wrong"});
    const double total = Milliseconds(facts.times.total);
    const long timeout = facts.target.timeoutSeconds;
    if (total > static_cast<double>(timeout) * 1000.0 * kSlowShareOfTimeout)
        lines.push_back({kWarn, "Slow answer: the ping took " + Format("%.0f", total) +
                                    " ms, more than half of its timeout of " +
                                    std::to_string(timeout) + " s (" +
                                    std::string(corvane::kTimeoutKey) +
                                    "); check the network or the server's load"});
}

}  // namespace

std::vector<LogLine> PingTrace(const PingFacts& facts, const PingError& error) {
    std::vector<LogLine> lines;
    AddSteps(facts, lines);
    if (facts.tls.certificate) AddCertificateWarnings(facts, error, lines);
    AddClockAndSpeed(facts, lines);
    return lines;
}

LogLine CheckPassed(const PingFacts& facts, const std::string& key) {
    return {kInfo, "Check passed: the configuration server answered " +
                       std::to_string(facts.answer.status) + " in " +
                       Format("%.0f", Milliseconds(facts.times.total)) + " ms over " +
                       facts.tls.version + ", " + key};
}

LogLine CheckFailed(const PingError& error) {
    return {kError, std::string("Check failed at ") + error.step + " (error " +
                        std::to_string(error.code) + "): " + error.message};
}

}  // namespace Ardentis
