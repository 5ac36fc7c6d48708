#include "communication/server_address.h"

#include <algorithm>
#include <cctype>

#include "communication/curl_handles.h"
#include "install/install_keys.h"
#include "util/printable_text.h"

namespace Ardentis {
namespace {

constexpr int kUnsupportedProtocol = CURLE_UNSUPPORTED_PROTOCOL;
constexpr int kMalformedAddress = CURLE_URL_MALFORMAT;

util::Unexpected Refused(int code, std::string why) {
    return util::Fail(std::move(why), code);
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

}  // namespace

util::Expected<ServerAddress> ParseServerAddress(std::string_view text) {
    const std::string key(corvane::kServerKey);
    const std::string quoted = key + " '" + std::string(text) + "'";
    if (text.empty()) return Refused(kMalformedAddress, key + " is empty");

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

    const CurlUrlPtr parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        !CurlUrlPart(parsed.get(), CURLUPART_USER).empty() ||
        !CurlUrlPart(parsed.get(), CURLUPART_QUERY).empty() ||
        !CurlUrlPart(parsed.get(), CURLUPART_FRAGMENT).empty() ||
        url.find_first_of(std::string_view(" \t\r\n\0", 5)) != std::string::npos)
        return Refused(kMalformedAddress,
                       quoted +
                           " is not an address: write host, host:port, [IPv6-address]:port "
                           "or https://host:port/path");

    // libcurl decodes %XX in the host: a blank or control byte would split the request.
    const std::string host = CurlUrlPart(parsed.get(), CURLUPART_HOST);
    if (std::any_of(host.begin(), host.end(),
                    [](char c) { return c == ' ' || util::IsControlByte(c); }))
        return Refused(kMalformedAddress,
                       quoted + " names a host with a blank or control character");
    const std::string port = CurlUrlPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (port == "0")
        return Refused(kMalformedAddress, quoted + " names port 0, which no server listens on");
    std::string base = CurlUrlPart(parsed.get(), CURLUPART_PATH);
    while (!base.empty() && base.back() == '/') base.pop_back();

    ServerAddress address;
    address.host = host.starts_with('[') ? host.substr(1, host.size() - 2) : host;
    address.hostPort = host + ":" + port;
    address.pingUrl = "https://" + address.hostPort + base + "/ping";
    return address;
}

}  // namespace Ardentis
