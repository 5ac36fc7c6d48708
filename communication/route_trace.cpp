#include "communication/route_trace.h"

#include <curl/curl.h>
#include <boost/algorithm/string/predicate.hpp>

#include <algorithm>
#include <string_view>

#include "communication/connect_attempts.h"
#include "communication/ping_verdict.h"
#include "util/printable_text.h"

namespace Ardentis {
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
        "The proxy answered the CONNECT with " + StatusText(proxy.connectStatusLine, status);
    if (status != 407) return line;
    std::string schemes;
    for (const std::string& scheme : proxy.authSchemes)
        schemes += (schemes.empty() ? "" : ", ") + scheme;
    if (proxy.moreSchemes) schemes += " and " + std::to_string(proxy.moreSchemes) + " more";
    return line + (schemes.empty() ? "; it offers no scheme (no Proxy-Authenticate header)"
                                   : "; it offers " + schemes);
}

// The proxy that a WinHTTP-style setting names for https: "host:port" from "host:port",
// "https=host:port;http=other:80" or "http://host:port"; empty when it names none.
std::string HttpsProxyOf(std::string_view setting) {
    std::string_view chosen;
    while (!setting.empty()) {
        const std::size_t end = setting.find_first_of("; ");
        std::string_view entry = setting.substr(0, end);
        setting = end == std::string_view::npos ? std::string_view() : setting.substr(end + 1);
        if (entry.empty()) continue;
        const std::size_t equals = entry.find('=');
        if (equals == std::string_view::npos) {
            if (chosen.empty()) chosen = entry;
        } else if (boost::algorithm::istarts_with(entry, "https=")) {
            chosen = entry.substr(equals + 1);
            break;
        }
    }
    if (const std::size_t scheme = chosen.find("://"); scheme != std::string_view::npos)
        chosen.remove_prefix(scheme + 3);
    while (!chosen.empty() && chosen.back() == '/') chosen.remove_suffix(1);
    return std::string(chosen);
}

// What the machine's own setting (WinHTTP's) names and, when the check used another way,
// how to make it use that one. Nothing when the system has no such setting.
void AddMachineProxy(const PingProxy& proxy, std::vector<std::string>& lines) {
    const platform::SystemProxy& system = proxy.machine;
    if (!system.known) return;
    const std::string named = HttpsProxyOf(system.proxy);
    lines.push_back(
        "Windows proxy setting (WinHTTP): " +
        (system.proxy.empty()
             ? std::string("none, a direct connection")
             : util::Printable(system.proxy) +
                   (system.bypass.empty() ? std::string()
                                          : ", not for " + util::Printable(system.bypass))));
    // The check used what the setting names when the proxy URL holds its host and port.
    const bool same =
        named.empty() ? proxy.url.empty() : proxy.url.find("//" + named + "/") != std::string::npos;
    if (!same)
        lines.push_back(
            std::string("The check uses only the environment variables https_proxy, all_proxy "
                        "and no_proxy, not the WinHTTP setting") +
            (named.empty()
                 ? "; clear https_proxy and all_proxy to check a direct connection"
                 : "; to check through that proxy, run it after: set https_proxy=http://" +
                       util::Printable(named) + "/"));
}

}  // namespace

std::vector<std::string> RouteTrace(const PingFacts& facts) {
    const PingProxy& proxy = facts.route.proxy;
    // The proxy first, then the way to it or to the server, then the proxy's answer.
    std::vector<std::string> lines{ProxyLine(proxy, facts.target.host), LookupLine(facts)};
    const std::string via = proxy.url.empty() ? "" : " (the proxy)";
    for (const ConnectAttempt& attempt : facts.route.attempts)
        lines.push_back("Connect attempt" + via + ": " + DescribeAttempt(attempt));
    if (!proxy.connectStatusLine.empty()) lines.push_back(ConnectAnswerLine(proxy));
    if (!proxy.reason.empty()) lines.push_back("The proxy's reason: " + proxy.reason);
    AddMachineProxy(proxy, lines);
    return lines;
}

}  // namespace Ardentis
