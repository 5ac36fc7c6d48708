#include "communication/ping_trace.h"

#include <curl/curl.h>
#include <log4cxx/logger.h>
#include <boost/algorithm/string/predicate.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "agentcommon/CorvaneCommon.h"
#include "communication/ping_verdict.h"
#include "communication/route_notes.h"
#include "install/install_keys.h"
#include "util/printable_text.h"

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

LogLine PingStarts(const std::string& url, const PingTarget& target) {
    return {kInfo, "Pinging " + url + " (connect timeout " +
                       std::to_string(target.connectTimeoutSeconds) + " s, timeout " +
                       std::to_string(target.timeoutSeconds) + " s, " +
                       (target.pinnedKey.empty() ? "first contact" : "pinned certificate") + ")"};
}

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

// The route's lines: the proxy, the lookup, each address tried, the CONNECT.
namespace {

// The addresses tried, each once, in order: "127.0.0.2, 127.0.0.1".
std::string AddressesTried(const std::vector<ConnectAttempt>& attempts) {
    std::vector<std::string> seen;
    std::string text;
    for (const ConnectAttempt& attempt : attempts) {
        if (std::find(seen.begin(), seen.end(), attempt.address) != seen.end()) continue;
        seen.push_back(attempt.address);
        text += (text.empty() ? "" : ", ") + attempt.address;
    }
    return text;
}

std::string LookupLine(const PingFacts& facts) {
    const std::string& host = facts.target.host;
    const PingRoute& route = facts.route;
    if (!route.proxy.url.empty())
        return "Name lookup: " + host + ": left to the proxy " + route.proxy.url;
    const auto& tried = route.attempts;
    if (!tried.empty() && tried.front().address == host)
        return "Name lookup: " + host + ": an address, no lookup";
    if (!tried.empty())
        return "Name lookup: " + host + ": " + AddressesTried(tried) +
               (tried.back().outcome == AttemptOutcome::Connected
                    ? " (tried in this order up to the one that answered)"
                    : " (tried in this order)");
    if (facts.result == CURLE_OPERATION_TIMEDOUT && route.lookupTimedOut)
        return "Name lookup: " + host + ": no answer from the system's resolver within the " +
               "connect timeout of " + std::to_string(facts.target.connectTimeoutSeconds) +
               " s (ConfigurationServerConnectTimeout)";
    if (facts.result == CURLE_COULDNT_RESOLVE_HOST)
        return "Name lookup: " + host + ": no address, " +
               LookupCause(route.lookup, host, std::string());
    return "Name lookup: " + host + ": no address tried";
}

std::string ProxyLine(const PingProxy& proxy, const std::string& host) {
    if (!proxy.url.empty())
        return "Proxy: " + proxy.url + ", named by " + proxy.variable +
               (proxy.settingProblem.empty()
                    ? std::string()
                    : ", which libcurl cannot use: " + proxy.settingProblem);
    if (!proxy.noProxyVariable.empty() && !proxy.unusedVariable.empty())
        return "Proxy: none: " + proxy.noProxyVariable + " ('" + proxy.noProxyValue +
               "') excludes " + host + ", so the proxy in " + proxy.unusedVariable + " is not used";
    return "Proxy: none (no https_proxy, HTTPS_PROXY, all_proxy or ALL_PROXY set)";
}

std::string ConnectAnswerLine(const PingProxy& proxy) {
    const long status = proxy.connectStatus;
    std::string line =
        "The proxy answered the CONNECT with " + StatusText(proxy.connectStatusText, status);
    if (status != 407) return line;
    std::string schemes;
    for (const std::string& scheme : proxy.authSchemes)
        schemes += (schemes.empty() ? "" : ", ") + scheme;
    if (proxy.moreSchemes) schemes += " and " + std::to_string(proxy.moreSchemes) + " more";
    return line + (schemes.empty() ? "; it offers no scheme (no Proxy-Authenticate header)"
                                   : "; it offers " + schemes);
}

// What the machine's own setting (WinHTTP's) names and, when the check used another way,
// how to make it use that one. Nothing when the system has no such setting.
void AddMachineProxy(const PingProxy& proxy, std::vector<std::string>& lines) {
    const MachineProxy& system = proxy.machine;
    if (!system.known) return;
    const std::string& named = system.httpsProxy;
    lines.push_back("Windows proxy setting (WinHTTP): " +
                    (system.proxy.empty()
                         ? std::string("none, a direct connection")
                         : system.proxy + (system.bypass.empty() ? std::string()
                                                                 : ", not for " + system.bypass)));
    // The check used what the setting names when the proxy URL holds its host and port.
    const bool same =
        named.empty() ? proxy.url.empty() : proxy.url.find("//" + named + "/") != std::string::npos;
    if (!same)
        lines.push_back(
            std::string("The check uses only the environment variables https_proxy, all_proxy "
                        "and no_proxy, not the WinHTTP setting") +
            (named.empty()
                 ? "; clear https_proxy and all_proxy to check a direct connection"
                 : "; to check through that proxy, run it after: set https_proxy=http://" + named +
                       "/"));
}

}  // namespace

std::vector<std::string> RouteTrace(const PingFacts& facts) {
    const PingProxy& proxy = facts.route.proxy;
    // The proxy first, then the way to it or to the server, then the proxy's answer.
    std::vector<std::string> lines{ProxyLine(proxy, facts.target.host), LookupLine(facts)};
    const std::string via = proxy.url.empty() ? "" : " (the proxy)";
    for (const ConnectAttempt& attempt : facts.route.attempts)
        lines.push_back("Connect attempt" + via + ": " + DescribeAttempt(attempt));
    if (proxy.connectAnswered) lines.push_back(ConnectAnswerLine(proxy));
    if (!proxy.reason.empty()) lines.push_back("The proxy's reason: " + proxy.reason);
    AddMachineProxy(proxy, lines);
    return lines;
}

std::string DescribeAttempt(const ConnectAttempt& attempt) {
    const std::string text = attempt.address + " port " + std::to_string(attempt.port) + ": ";
    const auto outcome = [&attempt]() -> std::string {
        switch (attempt.outcome) {
            case AttemptOutcome::Pending:
                break;
            case AttemptOutcome::Connected:
                return "connected";
            case AttemptOutcome::Refused:
                return "refused";
            case AttemptOutcome::TimedOut:
                return "timed out";
            case AttemptOutcome::Unreachable:
                return "unreachable";
            case AttemptOutcome::Failed:
                return "failed (" + attempt.reason + ")";
        }
        return {};
    }();
    if (outcome.empty()) return text + "no outcome";
    return text + outcome + " after " + std::to_string(std::lround(attempt.milliseconds)) + " ms";
}

// The log itself.

namespace {

log4cxx::LoggerPtr ConnectionLog() {
    return log4cxx::Logger::getLogger("Ardentis.Connection");
}

}  // namespace

void WriteLog(const LogLine& line) {
    const auto log = ConnectionLog();
    switch (line.level) {
        case LogLine::Level::Info:
            LOG4CXX_INFO(log, line.text);
            break;
        case LogLine::Level::Warn:
            LOG4CXX_WARN(log, line.text);
            break;
        case LogLine::Level::Error:
            LOG4CXX_ERROR(log, line.text);
            break;
    }
}

void WriteLog(const std::vector<LogLine>& lines) {
    for (const LogLine& line : lines) WriteLog(line);
}

}  // namespace Ardentis
