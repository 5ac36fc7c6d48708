#include "communication/route_notes.h"

#include <curl/curl.h>
#include <boost/algorithm/string/predicate.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>

#include "communication/curl_handles.h"
#include "platform/system_proxy.h"
#include "util/printable_text.h"

namespace Ardentis {
namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The proxy: its variable, its connection, its answer to CONNECT.

// libcurl's words when it takes a variable from the environment, and once connected.
constexpr std::string_view kProxyNote = "Uses proxy env variable ";
constexpr std::string_view kConnectedNote = "Connected to ";
constexpr std::string_view kNotAUrl = "(a proxy setting that is not a URL)";
constexpr std::size_t kLongestScheme = 40;
// A proxy may offer thousands of schemes; the log names this many and counts the rest.
constexpr std::size_t kMostSchemes = 8;
constexpr std::size_t kLongestReason = 200;

long Number(std::string_view text) {
    long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// NAME and VALUE of "Uses proxy env variable NAME == 'VALUE'"; false for any other note.
bool SplitProxyNote(std::string_view text, std::string_view& name, std::string_view& value) {
    if (!text.starts_with(kProxyNote)) return false;
    text.remove_prefix(kProxyNote.size());
    const std::size_t equals = text.find(" == '");
    const std::size_t end = text.rfind('\'');
    if (equals == std::string_view::npos || end <= equals + 4) return false;
    name = text.substr(0, equals);
    value = text.substr(equals + 5, end - equals - 5);
    return true;
}

bool IsNoProxy(std::string_view name) {
    return name == "no_proxy" || name == "NO_PROXY";
}

// %XX decoded, control bytes and all (the URL parser refuses to decode those).
std::string Decoded(const std::string& text) {
    int length = 0;
    char* decoded =
        curl_easy_unescape(nullptr, text.c_str(), static_cast<int>(text.size()), &length);
    if (!decoded) return text;
    std::string value(decoded, static_cast<std::size_t>(length));
    curl_free(decoded);
    return value;
}

// What libcurl makes of a proxy setting, read as libcurl reads it: the URL parser with
// the same flags, the schemes it knows, and the user name and password decoded.
void ReadSetting(PingProxy& proxy, const std::string& value) {
    const CurlUrlPtr url(curl_url());
    if (!url) return;
    const CURLUcode parsed = curl_url_set(url.get(), CURLUPART_URL, value.c_str(),
                                          CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME);
    if (parsed != CURLUE_OK) {
        // The parser's words are its own, never the value's.
        proxy.settingProblem = std::string("it is not a URL (") + curl_url_strerror(parsed) + ")";
        return;
    }
    const std::string scheme = CurlUrlPart(url.get(), CURLUPART_SCHEME);
    const std::string user = Decoded(CurlUrlPart(url.get(), CURLUPART_USER));
    const std::string password = Decoded(CurlUrlPart(url.get(), CURLUPART_PASSWORD));
    std::string host = CurlUrlPart(url.get(), CURLUPART_HOST);
    if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
    proxy.host = host;
    proxy.httpsScheme = boost::algorithm::iequals(scheme, "https");
    // Without a port libcurl takes 443 for an https:// proxy and 1080 for any other.
    const std::string port = CurlUrlPart(url.get(), CURLUPART_PORT);
    proxy.port = port.empty() ? (proxy.httpsScheme ? 443 : 1080) : Number(port);
    proxy.user = util::Printable(user);
    proxy.credentials = !user.empty() || !password.empty();
    static constexpr const char* kSchemes[] = {"http",    "https",  "socks4",
                                               "socks4a", "socks5", "socks5h"};
    if (std::none_of(std::begin(kSchemes), std::end(kSchemes),
                     [&](const char* known) { return boost::algorithm::iequals(scheme, known); }))
        proxy.settingProblem = "its scheme " + util::Printable(scheme, kLongestScheme) +
                               ":// is not one of http, https, socks4, socks4a, socks5, socks5h";
    else if (std::any_of(user.begin(), user.end(), util::IsControlByte) ||
             std::any_of(password.begin(), password.end(), util::IsControlByte))
        // libcurl then leaves the proxy out and connects directly, without a word.
        proxy.settingProblem =
            "its user name or password holds a control character once decoded (%0d, %0a, ...)";
}

// "Connected to HOST (IP) port PORT (#0)": libcurl reached the proxy when HOST and PORT
// are the proxy's.
void NoteConnected(PingProxy& proxy, std::string_view text) {
    text.remove_prefix(kConnectedNote.size());
    const std::size_t open = text.find(" (");
    const std::size_t port = text.find(") port ");
    if (open == std::string_view::npos || port == std::string_view::npos || port < open) return;
    if (text.substr(0, open) == proxy.host && Number(text.substr(port + 7)) == proxy.port)
        proxy.connected = true;
}

void NoteScheme(PingProxy& proxy, std::string_view value) {
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    const std::string scheme =
        util::Printable(value.substr(0, value.find_first_of(" ,")), kLongestScheme);
    auto& schemes = proxy.authSchemes;
    if (scheme.empty() || std::find(schemes.begin(), schemes.end(), scheme) != schemes.end())
        return;
    if (schemes.size() < kMostSchemes)
        schemes.push_back(scheme);
    else
        ++proxy.moreSchemes;
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

// The addresses tried.

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool IsIpv6(const ConnectAttempt& attempt) {
    return attempt.address.find(':') != std::string::npos;
}

// The latest attempt still open that matches.
template <typename Match>
ConnectAttempt* LatestOpen(std::vector<ConnectAttempt>& attempts, Match match) {
    for (auto it = attempts.rbegin(); it != attempts.rend(); ++it)
        if (it->outcome == AttemptOutcome::Pending && match(*it)) return &*it;
    return nullptr;
}

void Settle(ConnectAttempt* attempt, AttemptOutcome outcome, double nowMs,
            std::string_view reason = {}) {
    if (!attempt) return;
    attempt->outcome = outcome;
    attempt->milliseconds = std::max(0.0, nowMs - attempt->startedMs);
    if (outcome == AttemptOutcome::Failed) attempt->reason = util::Printable(reason);
}

// "Connection refused", "Network is unreachable", "No route to host", "Timed out" (the
// words differ between the C library and Winsock).
AttemptOutcome OutcomeOf(std::string_view reason) {
    if (boost::algorithm::icontains(reason, "refused")) return AttemptOutcome::Refused;
    if (boost::algorithm::icontains(reason, "unreachable") ||
        boost::algorithm::icontains(reason, "no route"))
        return AttemptOutcome::Unreachable;
    if (boost::algorithm::icontains(reason, "timed out")) return AttemptOutcome::TimedOut;
    return AttemptOutcome::Failed;
}

}  // namespace

int OnRouteNote(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
    auto* notes = static_cast<RouteNotes*>(user);
    const std::string_view text(data, size);
    if (type == CURLINFO_TEXT) {
        NoteConnectText(notes->route.attempts, text, MillisecondsSince(notes->started));
        NoteProxyText(notes->route.proxy, text);
        if (std::string setting = ProxySettingIn(text); !setting.empty())
            notes->proxySetting = std::move(setting);
    } else if (type == CURLINFO_HEADER_IN) {
        NoteProxyHeader(notes->route.proxy, text);
    }
    return 0;
}

curl_socket_t OnOpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
    if (!static_cast<RouteNotes*>(user)->route.proxy.settingProblem.empty()) return CURL_SOCKET_BAD;
    return socket(address->family, address->socktype, address->protocol);
}

int OnRequestReady(void* user, char*, char*, int, int) {
    const PingProxy& proxy = static_cast<RouteNotes*>(user)->route.proxy;
    const bool bypassed = !proxy.variable.empty() && !proxy.connected;
    return bypassed || !proxy.settingProblem.empty() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

void FinishRoute(RouteNotes& notes, CURL* curl, CURLcode result) {
    PingRoute& route = notes.route;
    char* ip = nullptr;
    curl_easy_getinfo(curl, CURLINFO_PRIMARY_IP, &ip);
    SettleAttempts(route.attempts, result, ip ? ip : "", MillisecondsSince(notes.started));
    route.lookupTimedOut =
        result == CURLE_OPERATION_TIMEDOUT && route.proxy.url.empty() && route.attempts.empty();
    curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &route.proxy.connectCode);
    if (route.proxy.url.empty()) route.proxy.unusedVariable = ProxyVariableInEnvironment();
    route.proxy.machine = ReadMachineProxy(platform::MachineProxySetting());
}

void NoteProxyText(PingProxy& proxy, std::string_view text) {
    if (text.starts_with(kConnectedNote)) {
        if (!proxy.host.empty()) NoteConnected(proxy, WithoutLineEnd(text));
        return;
    }
    std::string_view name, value;
    if (!SplitProxyNote(text, name, value)) return;
    if (IsNoProxy(name)) {
        proxy.noProxyVariable = util::Printable(name);
        proxy.noProxyValue = util::Printable(value);
        return;
    }
    proxy.variable = util::Printable(name);
    proxy.url = WithoutCredentials(std::string(value));
    ReadSetting(proxy, std::string(value));
}

std::string ProxySettingIn(std::string_view text) {
    std::string_view name, value;
    return SplitProxyNote(text, name, value) && !IsNoProxy(name) ? std::string(value)
                                                                 : std::string();
}

void NoteProxyHeader(PingProxy& proxy, std::string_view line) {
    if (!proxy.connected || proxy.tunnelOpen) return;
    line = WithoutLineEnd(line);
    if (const std::optional<StatusLine> status = ReadStatusLine(line)) {
        proxy.connectAnswered = true;
        proxy.connectStatus = status->status;
        proxy.connectStatusText = status->text;
        proxy.authSchemes.clear();
        proxy.moreSchemes = 0;
        proxy.reason.clear();
    } else if (boost::algorithm::istarts_with(line, "Proxy-Authenticate:")) {
        NoteScheme(proxy, line.substr(19));
    } else if (boost::algorithm::istarts_with(line, "X-Squid-Error:") ||
               boost::algorithm::istarts_with(line, "Proxy-Status:")) {
        proxy.reason = util::Printable(line, kLongestReason);
    } else if (line.empty()) {
        proxy.tunnelOpen = proxy.connectStatus >= 200 && proxy.connectStatus <= 299;
    }
}

MachineProxy ReadMachineProxy(const platform::SystemProxy& setting) {
    return {setting.known, util::Printable(setting.proxy), util::Printable(setting.bypass),
            util::Printable(HttpsProxyOf(setting.proxy))};
}

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

std::optional<StatusLine> ReadStatusLine(std::string_view line) {
    if (!line.starts_with("HTTP/")) return std::nullopt;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return StatusLine{};
    return StatusLine{Number(line.substr(space + 1)), util::Printable(line.substr(space + 1))};
}

PrintableText LibcurlWords(const std::string& detail, const std::string& setting) {
    return util::Printable(WithoutProxySecret(detail, setting));
}

std::string WithoutCredentials(const std::string& proxy) {
    const CurlUrlPtr url(curl_url());
    if (!url ||
        curl_url_set(url.get(), CURLUPART_URL, proxy.c_str(),
                     CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_USER, nullptr, 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PASSWORD, nullptr, 0) != CURLUE_OK)
        return std::string(kNotAUrl);
    const std::string clean = CurlUrlPart(url.get(), CURLUPART_URL);
    return clean.empty() ? std::string(kNotAUrl) : util::Printable(clean);
}

std::string WithoutProxySecret(const std::string& text, const std::string& setting) {
    if (setting.empty()) return text;
    std::string clean = text;
    const std::string shown = WithoutCredentials(setting);
    for (std::size_t at = clean.find(setting); at != std::string::npos;
         at = clean.find(setting, at + shown.size()))
        clean.replace(at, setting.size(), shown);
    // The password as written and as decoded.
    const CurlUrlPtr url(curl_url());
    const bool parsed =
        url && curl_url_set(url.get(), CURLUPART_URL, setting.c_str(),
                            CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK;
    if (!parsed) return clean;
    for (const std::string& secret : {CurlUrlPart(url.get(), CURLUPART_PASSWORD),
                                      CurlUrlPart(url.get(), CURLUPART_PASSWORD, CURLU_URLDECODE)})
        if (!secret.empty() && clean.find(secret) != std::string::npos) return {};
    return clean;
}

std::string ProxyVariableInEnvironment() {
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        char* value = curl_getenv(name);
        const bool set = value != nullptr;
        curl_free(value);
        if (set) return name;
    }
    return {};
}

void NoteConnectText(std::vector<ConnectAttempt>& attempts, std::string_view text, double nowMs) {
    text = Trimmed(text);
    if (text.starts_with("Trying ") && text.ends_with("...")) {
        // "Trying 127.0.0.1:443..." or "Trying [::1]:443..."
        const std::string_view target = text.substr(7, text.size() - 10);
        const std::size_t colon = target.rfind(':');
        if (colon == std::string_view::npos) return;
        std::string_view address = target.substr(0, colon);
        if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
            address = address.substr(1, address.size() - 2);
        attempts.push_back({.address = std::string(address),
                            .port = Number(target.substr(colon + 1)),
                            .outcome = AttemptOutcome::Pending,
                            .reason = {},
                            .startedMs = nowMs,
                            .milliseconds = 0});
    } else if (text.starts_with("connect to ") || text.starts_with("Immediate connect fail")) {
        // "connect to 127.0.0.1 port 443 failed: Connection refused", or
        // "Immediate connect fail for 127.0.0.1: Network is unreachable"
        const bool connectTo = text.starts_with("connect to ");
        const std::size_t words = connectTo ? 11 : 27;
        const std::size_t end = text.find(connectTo ? " port " : ": ", words);
        const std::size_t colon = text.find(": ", words);
        if (end == std::string_view::npos || colon == std::string_view::npos) return;
        const std::string_view address = text.substr(words, end - words);
        const std::string_view reason = text.substr(colon + 2);
        Settle(LatestOpen(attempts, [&](const ConnectAttempt& a) { return a.address == address; }),
               OutcomeOf(reason), nowMs, reason);
    } else if (text.ends_with("move on!")) {
        // "ipv4 connect timeout after 1000ms, move on!": the family's attempt in progress.
        const bool ipv6 = text.starts_with("ipv6");
        Settle(LatestOpen(attempts, [&](const ConnectAttempt& a) { return IsIpv6(a) == ipv6; }),
               AttemptOutcome::TimedOut, nowMs);
    } else if (text.starts_with("Connected to ")) {
        // "Connected to host (127.0.0.1) port 443 (#0)"
        const std::size_t open = text.find(" (");
        const std::size_t close = text.find(") port ");
        if (open == std::string_view::npos || close == std::string_view::npos || close < open)
            return;
        const std::string_view address = text.substr(open + 2, close - open - 2);
        Settle(LatestOpen(attempts, [&](const ConnectAttempt& a) { return a.address == address; }),
               AttemptOutcome::Connected, nowMs);
    }
}

void SettleAttempts(std::vector<ConnectAttempt>& attempts, CURLcode result,
                    std::string_view primaryIp, double nowMs) {
    for (ConnectAttempt& attempt : attempts) {
        if (attempt.outcome != AttemptOutcome::Pending) continue;
        if (!primaryIp.empty() && attempt.address == primaryIp)
            Settle(&attempt, AttemptOutcome::Connected, nowMs);
        else if (result == CURLE_OPERATION_TIMEDOUT)
            Settle(&attempt, AttemptOutcome::TimedOut, nowMs);
        else
            Settle(&attempt, AttemptOutcome::Failed, nowMs, "ended with the transfer");
    }
}

}  // namespace Ardentis
