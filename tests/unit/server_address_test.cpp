#include "communication/server_address.h"

#include <gtest/gtest.h>

#include <string>

namespace Ardentis {
namespace {

constexpr int kUnsupportedProtocol = 1;
constexpr int kMalformedAddress = 3;

void ExpectAccepted(std::string_view text, const std::string& pingUrl,
                    const std::string& hostPort) {
    SCOPED_TRACE(std::string(text));
    const auto address = ParseServerAddress(text);
    ASSERT_TRUE(address) << "refused: " << address.Error().code << " " << address.Error().reason;
    EXPECT_EQ(address->pingUrl, pingUrl);
    EXPECT_EQ(address->hostPort, hostPort);
}

void ExpectRefused(std::string_view text, int code) {
    SCOPED_TRACE("'" + std::string(text) + "'");
    const auto address = ParseServerAddress(text);
    ASSERT_FALSE(address) << "a refused address must give nothing to dial";
    EXPECT_EQ(address.Error().code, code);
    EXPECT_NE(address.Error().reason, "") << "a refused address must say why";
}

TEST(ParseServerAddress, HostAloneGetsPort443) {
    ExpectAccepted("config.example", "https://config.example:443/ping", "config.example:443");
}

TEST(ParseServerAddress, HostAndPort) {
    ExpectAccepted("127.0.0.1:8443", "https://127.0.0.1:8443/ping", "127.0.0.1:8443");
}

TEST(ParseServerAddress, BracketedIpv6AddressAndPort) {
    ExpectAccepted("[::1]:8443", "https://[::1]:8443/ping", "[::1]:8443");
}

TEST(ParseServerAddress, HttpsUrlWithBasePath) {
    ExpectAccepted("https://h:1/base/", "https://h:1/base/ping", "h:1");
    ExpectAccepted("https://h:1/base", "https://h:1/base/ping", "h:1");
    ExpectAccepted("https://h:1/", "https://h:1/ping", "h:1");
}

TEST(ParseServerAddress, HttpsUrlWithoutPortGetsPort443) {
    ExpectAccepted("https://h/agent/", "https://h:443/agent/ping", "h:443");
}

TEST(ParseServerAddress, SchemeIsCaseInsensitive) {
    ExpectAccepted("HTTPS://h:1/base/", "https://h:1/base/ping", "h:1");
    ExpectAccepted("Https://h:1", "https://h:1/ping", "h:1");
}

// The token must never travel in clear, so no scheme but https is dialled.
TEST(ParseServerAddress, OtherSchemesAreRefused) {
    for (const char* text : {"http://h:1", "HTTP://h:1/base/", "ftp://h", "file:///etc/passwd"})
        ExpectRefused(text, kUnsupportedProtocol);
}

TEST(ParseServerAddress, ThingsThatAreNoAddressAreRefused) {
    for (const char* text : {
             "",
             "::1",        // an IPv6 address needs brackets
             "h:99999",    // no such port
             "user:pw@h",  // credentials
             "https://user@h:1",
             "h/?q",     // query
             "h#f",      // fragment
             "h ost:1",  // blanks inside
             "h:1/base path",
             "h:1\t",
             " h:1",
             "h%7Fx:1",  // control bytes that the host's percent-decoding lets in
             "h%01x",
         })
        ExpectRefused(text, kMalformedAddress);
}

TEST(ParseServerAddress, EmptyAddressSaysSo) {
    EXPECT_EQ(ParseServerAddress("").Error().reason, "ConfigurationServer is empty");
}

TEST(ParseServerAddress, RefusalQuotesTheAddress) {
    EXPECT_NE(ParseServerAddress("h#f").Error().reason.find("'h#f'"), std::string::npos);
    EXPECT_NE(ParseServerAddress("http://h:1").Error().reason.find("'http://h:1'"),
              std::string::npos);
}

}  // namespace
}  // namespace Ardentis
