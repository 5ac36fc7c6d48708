#include "communication/proxy_notes.h"

#include <curl/curl.h>
#include <boost/algorithm/string/predicate.hpp>

#include <algorithm>
#include <charconv>

#include "communication/curl_handles.h"
#include "util/printable_text.h"

namespace Ardentis {
namespace {

// libcurl's words when it takes a variable from the environment, and once connected.
constexpr std::string_view kProxyNote = "Uses proxy env variable ";
constexpr std::string_view kConnectedNote = "Connected to ";
constexpr std::string_view kNotAUrl = "(a proxy setting that is not a URL)";
constexpr std::size_t kLongestScheme = 40;
// A proxy may offer thousands of schemes; the log names this many and counts the rest.
constexpr std::size_t kMostSchemes = 8;
constexpr std::size_t kLongestReason = 200;

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

long Number(std::string_view text) {
    long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// 407 from "HTTP/1.1 407 Proxy Authentication Required"; 0 when there is none.
long StatusOf(std::string_view statusLine) {
    const std::size_t space = statusLine.find(' ');
    return space == std::string_view::npos ? 0 : Number(statusLine.substr(space + 1));
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

}  // namespace

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
    if (line.starts_with("HTTP/")) {
        proxy.connectStatusLine = line;
        proxy.connectStatus = StatusOf(line);
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

}  // namespace Ardentis
