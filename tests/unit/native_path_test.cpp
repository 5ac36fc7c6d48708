#include "platform/native_path.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

TEST(NativePath, KeepsAscii) {
    EXPECT_EQ(ToNativePath(L"/opt/agent/config/install_config.txt"),
              "/opt/agent/config/install_config.txt");
    EXPECT_EQ(FromNativePath("/opt/agent/config/install_config.txt"),
              L"/opt/agent/config/install_config.txt");
    EXPECT_EQ(ToNativePath(L""), "");
    EXPECT_EQ(FromNativePath(""), L"");
}

TEST(NativePath, ConvertsMultiByteUtf8) {
    struct Case {
        std::wstring wide;
        std::string native;
    };
    const Case cases[] = {
        {L"caf\u00E9", "caf\xC3\xA9"},
        {L"\u20AC/x", "\xE2\x82\xAC/x"},
        {L"\U0001D11E", "\xF0\x9D\x84\x9E"},
        {L"\u00E9\u20AC\U0001D11E", "\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToNativePath(c.wide), c.native);
        EXPECT_EQ(FromNativePath(c.native), c.wide);
    }
}

TEST(NativePath, InvalidBytesSurviveTheRoundTrip) {
    const std::string paths[] = {
        "\xFF",
        "a\x80z",
        "/x/\xC0\xAF/y",         // overlong "/"
        "\xE0\x80\xAF",          // overlong "/" in three bytes
        "\xED\xA0\x80",          // an encoded surrogate
        "\xF4\x90\x80\x80",      // beyond U+10FFFF
        "end\xE2\x82",           // truncated at the end
        "\xF0\x9D\x84/a",        // truncated before an ASCII byte
        "\xC3\xA9\xFF\xC3\xA9",  // invalid between valid sequences
    };
    for (const std::string& path : paths) {
        const std::wstring wide = FromNativePath(path);
        EXPECT_EQ(ToNativePath(wide), path) << "wide form has " << wide.size() << " units";
    }
}

TEST(NativePath, EscapesEachInvalidByteOnItsOwn) {
    EXPECT_EQ(FromNativePath("a\x80z"), std::wstring(L"a\xDC80z"));
    EXPECT_EQ(FromNativePath("\xFF"), std::wstring(L"\xDCFF"));
    EXPECT_EQ(FromNativePath("\xC0\xAF"), std::wstring(L"\xDCC0\xDCAF"));
    EXPECT_EQ(FromNativePath("end\xE2\x82"), std::wstring(L"end\xDCE2\xDC82"));
}

}  // namespace
}  // namespace platform
