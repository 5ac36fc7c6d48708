#include "communication/proxy_notes.h"

#include <curl/curl.h>
#include <boost/algorithm/string/predicate.hpp>

#include <algorithm>
#include <charconv>

#include "communication/curl_handles.h"
#include "install/printable_text.h"

namespace Ardentis {
namespace {

// libcurl's words when it takes a variable from the environment.
constexpr std::string_view kProxyNote = "Uses proxy env variable ";
constexpr std::size_t kLongestScheme = 40;

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

// 407 from "HTTP/1.1 407 Proxy Authentication Required"; 0 when there is none.
long StatusOf(std::string_view statusLine) {
    const std::size_t space = statusLine.find(' ');
    long status = 0;
    if (space != std::string_view::npos)
        std::from_chars(statusLine.data() + space + 1, statusLine.data() + statusLine.size(),
                        status);
    return status;
}

}  // namespace

void NoteProxyText(PingProxy& proxy, std::string_view text) {
    if (!text.starts_with(kProxyNote)) return;
    text.remove_prefix(kProxyNote.size());
    const std::size_t equals = text.find(" == '");
    const std::size_t end = text.rfind('\'');
    if (equals == std::string_view::npos || end <= equals + 4) return;
    const std::string name = corvane::Printable(text.substr(0, equals));
    const std::string value(text.substr(equals + 5, end - equals - 5));
    if (name == "no_proxy" || name == "NO_PROXY") {
        proxy.noProxyVariable = name;
        proxy.noProxyValue = corvane::Printable(value);
    } else {
        proxy.variable = name;
        proxy.url = WithoutCredentials(value);
    }
}

void NoteProxyHeader(PingProxy& proxy, std::string_view line) {
    if (proxy.url.empty() || proxy.tunnelOpen) return;
    line = WithoutLineEnd(line);
    if (line.starts_with("HTTP/")) {
        proxy.connectStatusLine = line;
        proxy.connectStatus = StatusOf(line);
        proxy.authSchemes.clear();
    } else if (boost::algorithm::istarts_with(line, "Proxy-Authenticate:")) {
        std::string_view value = line.substr(19);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        const std::string scheme =
            corvane::Printable(value.substr(0, value.find_first_of(" ,")), kLongestScheme);
        if (!scheme.empty() && std::find(proxy.authSchemes.begin(), proxy.authSchemes.end(),
                                         scheme) == proxy.authSchemes.end())
            proxy.authSchemes.push_back(scheme);
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
        return "(a proxy setting that is not a URL)";
    const std::string clean = CurlUrlPart(url.get(), CURLUPART_URL);
    return clean.empty() ? "(a proxy setting that is not a URL)" : corvane::Printable(clean);
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
