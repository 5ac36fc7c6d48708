#include "communication/server_certificate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/native_path.h"
#include "tests/unit/test_support.h"

namespace Ardentis {
namespace {

using corvane::test::TempDir;
using corvane::test::WriteFile;

// A self-signed P-256 certificate for pin.test, made with
//   openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 36500
//       -subj /CN=pin.test -addext subjectAltName=DNS:pin.test
constexpr char kCertificate[] =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIBkzCCATigAwIBAgIULIZmNldygRaDNLW7S26gaDXkxDAwCgYIKoZIzj0EAwIw\n"
    "EzERMA8GA1UEAwwIcGluLnRlc3QwIBcNMjYxMjA3MjAxODM1WhgPMjEyNjExMTMy\n"
    "MDE4MzVaMBMxETAPBgNVBAMMCHBpbi50ZXN0MFkwEwYHKoZIzj0CAQYIKoZIzj0D\n"
    "AQcDQgAE91IuD6hJ22a6gEoS5qpd9vqBcoSsF2Jvoi2Qqpj10fHszI72c/lzPVKD\n"
    "Zr0k0/FWkAIKqFwvKstFUEm0LQEyWaNoMGYwHQYDVR0OBBYEFMFexzM6dmfYeDKu\n"
    "IrcwgAzOingwMB8GA1UdIwQYMBaAFMFexzM6dmfYeDKuIrcwgAzOingwMA8GA1Ud\n"
    "EwEB/wQFMAMBAf8wEwYDVR0RBAwwCoIIcGluLnRlc3QwCgYIKoZIzj0EAwIDSQAw\n"
    "RgIhAOkE50ulRpl3p/5Qbv5KA4wRlK0dAQ4+iePNenD1TgkBAiEA+SVlTsaJBS7F\n"
    "VmxuvLgCVr7qiTC+mxcsL6LhUbZFIXA=\n"
    "-----END CERTIFICATE-----\n";

// openssl x509 -pubkey -noout | openssl pkey -pubin -outform der
//     | openssl dgst -sha256 -binary | base64
constexpr char kPin[] = "sha256//ADF2dfDAfLi+8lz7B6feNr6Z6vzMCuz5dGfDH5lKxJI=";

std::wstring Wide(const std::filesystem::path& path) {
    return platform::FromNativePath(path.string());
}

template <typename T>
void ExpectNoPin(const util::Expected<T>& result) {
    ASSERT_FALSE(result) << "a pin from nothing";
    EXPECT_NE(result.Error().reason, "") << "a refusal must say why";
}

// The pin, or the reason as the failure's text.
std::string PinOf(const util::Expected<std::string>& result) {
    return result ? *result : "error: " + result.Error().reason;
}
std::string PinOf(const util::Expected<PinnedKey>& result) {
    return result ? result->pin : "error: " + result.Error().reason;
}

TEST(PinFromPem, CertificateGivesThePinOfItsPublicKey) {
    const util::Expected<std::string> result = PinFromPem(kCertificate);
    EXPECT_EQ(PinOf(result), kPin);
    EXPECT_EQ(PinOf(result).size(), 8u + 44u);
}

// Files copied around by operators pick up CR LF line ends and comments.
TEST(PinFromPem, LineEndsAndSurroundingTextDoNotMatter) {
    std::string crlf;
    for (char c : std::string(kCertificate)) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    EXPECT_EQ(PinOf(PinFromPem(crlf)), kPin);
    EXPECT_EQ(
        PinOf(PinFromPem(std::string("subject=CN = pin.test\n") + kCertificate + "trailer\n")),
        kPin);
}

TEST(PinFromPem, FirstCertificateOfAChainCounts) {
    EXPECT_EQ(PinOf(PinFromPem(std::string(kCertificate) + kCertificate)), kPin);
}

TEST(PinFromPem, NoCertificateGivesAnError) {
    const std::string certificate = kCertificate;
    const std::string body = certificate.substr(certificate.find('\n') + 1);
    for (const std::string& text : {
             std::string(),
             std::string("garbage\x01\xff not a certificate"),
             certificate.substr(0, certificate.size() / 2),         // truncated
             certificate.substr(0, certificate.rfind("-----END")),  // no end line
             body,                                                  // no begin line
             std::string("-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n"),
             std::string("-----BEGIN PUBLIC KEY-----\n") + body,
         }) {
        SCOPED_TRACE(text);
        ExpectNoPin(PinFromPem(text));
    }
}

TEST(PinFromPem, EmptyInputSaysSo) {
    EXPECT_EQ(PinFromPem("").Error().reason, "it is empty");
}

TEST(ReadPinnedCertificate, FileHoldingTheCertificate) {
    TempDir dir;
    WriteFile(dir / "ConfigurationServer.PEM", kCertificate);
    const util::Expected<PinnedKey> key =
        ReadPinnedCertificate(Wide(dir / "ConfigurationServer.PEM"));
    EXPECT_EQ(PinOf(key), kPin);
    EXPECT_EQ(key ? key->issuer : "", "CN=pin.test");
}

TEST(ReadPinnedCertificate, UnusableFilesGiveAnError) {
    TempDir dir;
    WriteFile(dir / "empty", "");
    WriteFile(dir / "truncated", std::string(kCertificate).substr(0, 200));
    WriteFile(dir / "garbage", "\x89PNG\r\n\x1a\n");
    for (const char* name : {"empty", "truncated", "garbage"}) {
        SCOPED_TRACE(name);
        ExpectNoPin(ReadPinnedCertificate(Wide(dir / name)));
    }
}

TEST(ReadPinnedCertificate, FolderGivesAnError) {
    TempDir dir;
    std::filesystem::create_directory(dir / "ConfigurationServer.PEM");
    ExpectNoPin(ReadPinnedCertificate(Wide(dir / "ConfigurationServer.PEM")));
}

TEST(ReadPinnedCertificate, MissingFileGivesAnError) {
    TempDir dir;
    ExpectNoPin(ReadPinnedCertificate(Wide(dir / "ConfigurationServer.PEM")));
}

// Only the first 64 KiB are read, so a larger file cannot be judged whole.
TEST(ReadPinnedCertificate, FileLargerThan64KiBGivesAnError) {
    TempDir dir;
    WriteFile(dir / "large", std::string(kCertificate) + std::string(64 * 1024, '#'));
    ExpectNoPin(ReadPinnedCertificate(Wide(dir / "large")));
}

}  // namespace
}  // namespace Ardentis
