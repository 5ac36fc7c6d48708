// Feeds arbitrary bytes to the communication module's parsers of outside text: the
// ConfigurationServer address, the pinned certificate file and the proxy variable. Checks
// what every result must satisfy whatever the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "communication/curl_handles.h"
#include "communication/route_notes.h"
#include "communication/server_address.h"
#include "communication/server_certificate.h"

namespace {

void Require(bool holds) {
    if (!holds) __builtin_trap();
}

bool IsBase64(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

// 0 to 65535 in decimal digits, without leading zeros. (libcurl lets port 0 through; the
// connection then fails, which is not this parser's business.)
bool IsPort(std::string_view text) {
    if (text.empty() || text.size() > 5 || (text.front() == '0' && text.size() > 1)) return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    return std::stoi(std::string(text)) <= 65535;
}

// Blanks and control characters, which would end or split the request line.
bool IsBlankOrControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7f;
}

void CheckAddress(std::string_view text) {
    const auto parsed = Ardentis::ParseServerAddress(text);
    if (parsed) {
        const Ardentis::ServerAddress& address = *parsed;
        Require(address.pingUrl.starts_with("https://" + address.hostPort));
        Require(address.pingUrl.ends_with("/ping"));
        Require(!address.hostPort.empty() && !address.hostPort.starts_with(':'));
        Require(IsPort(std::string_view(address.hostPort).substr(address.hostPort.rfind(':') + 1)));
        Require(std::none_of(address.pingUrl.begin(), address.pingUrl.end(), IsBlankOrControl));
    } else {
        // libcurl's "unsupported protocol" (1) or "malformed URL" (3), and why.
        Require(parsed.Error().code == 1 || parsed.Error().code == 3);
        Require(!parsed.Error().reason.empty());
    }
}

void CheckPin(std::string_view pem) {
    const util::Expected<std::string> pin = Ardentis::PinFromPem(pem);
    if (!pin) {
        Require(!pin.Error().reason.empty());
        return;
    }
    // "sha256//" and the base64 of a 32-byte digest: 43 digits and one "=" of padding.
    constexpr std::string_view prefix = "sha256//";
    Require(pin->size() == prefix.size() + 44 && pin->starts_with(prefix));
    const std::string_view digits = std::string_view(*pin).substr(prefix.size());
    Require(std::all_of(digits.begin(), digits.end() - 1, IsBase64) && digits.back() == '=');
}

// The proxy variable as libcurl's note quotes it: what is shown of it is printable, and
// libcurl's words that quote it never keep a password of four bytes or more.
void CheckProxySetting(std::string_view setting) {
    const std::string value(setting);
    Ardentis::PingProxy proxy;
    Ardentis::NoteProxyText(proxy, "Uses proxy env variable https_proxy == '" + value + "'");
    for (const std::string& shown : {proxy.url, proxy.user, proxy.settingProblem})
        Require(std::none_of(shown.begin(), shown.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte < 0x20 || byte >= 0x7f;
        }));
    const std::string words =
        Ardentis::WithoutProxySecret("Unsupported proxy syntax in '" + value + "'", value);
    // The password as libcurl reads the value, written and decoded.
    const Ardentis::CurlUrlPtr url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, value.c_str(),
                             CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return;
    for (const std::string& password :
         {Ardentis::CurlUrlPart(url.get(), CURLUPART_PASSWORD),
          Ardentis::CurlUrlPart(url.get(), CURLUPART_PASSWORD, CURLU_URLDECODE)})
        Require(password.size() < 4 || words.find(password) == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckAddress(text);
    CheckPin(text);
    CheckProxySetting(text);
    return 0;
}
