#include "agentcommon/communication/server_address.h"

#include "agentcommon/communication/server_text.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace Ardentis {
namespace {

constexpr int kUnsupportedProtocol = CURLE_UNSUPPORTED_PROTOCOL;
constexpr int kMalformedAddress = CURLE_URL_MALFORMAT;

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// The part of url, or an empty string when it has none.
std::string Part(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK) return {};
    std::string value(text);
    curl_free(text);
    return value;
}

ServerAddress Refused(int code, std::string why) {
    ServerAddress address;
    address.errorCode = code;
    address.error = std::move(why);
    return address;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

}  // namespace

ServerAddress ParseServerAddress(std::string_view text) {
    const std::string quoted = "ConfigurationServer '" + std::string(text) + "'";
    if (text.empty()) return Refused(kMalformedAddress, "ConfigurationServer is empty");

    std::string url;
    if (const std::size_t scheme = text.find("://"); scheme != std::string_view::npos) {
        if (Lower(text.substr(0, scheme)) != "https")
            return Refused(kUnsupportedProtocol,
                           quoted +
                               " does not use https://; the ping is refused so that the "
                               "application token never crosses the network in clear");
        url = "https" + std::string(text.substr(scheme));
    } else {
        url = "https://" + std::string(text);
    }

    const std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        !Part(parsed.get(), CURLUPART_USER).empty() ||
        !Part(parsed.get(), CURLUPART_QUERY).empty() ||
        !Part(parsed.get(), CURLUPART_FRAGMENT).empty() ||
        url.find_first_of(std::string_view(" \t\r\n\0", 5)) != std::string::npos)
        return Refused(kMalformedAddress,
                       quoted +
                           " is not an address: write host, host:port, [IPv6-address]:port "
                           "or https://host:port/path");

    // libcurl decodes %XX in the host: a blank or control byte would split the request.
    const std::string host = Part(parsed.get(), CURLUPART_HOST);
    if (std::any_of(host.begin(), host.end(), [](char c) { return c == ' ' || IsControlByte(c); }))
        return Refused(kMalformedAddress,
                       quoted + " names a host with a blank or control character");
    const std::string port = Part(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (port == "0")
        return Refused(kMalformedAddress, quoted + " names port 0, which no server listens on");
    std::string base = Part(parsed.get(), CURLUPART_PATH);
    while (!base.empty() && base.back() == '/') base.pop_back();

    ServerAddress address;
    address.host = host.starts_with('[') ? host.substr(1, host.size() - 2) : host;
    address.hostPort = host + ":" + port;
    address.pingUrl = "https://" + address.hostPort + base + "/ping";
    return address;
}

}  // namespace Ardentis
