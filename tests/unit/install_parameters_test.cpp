#include "install/install_parameters.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// The table's entries in iteration order.
Entries Parse(std::string_view text) {
    InstallParameters table;
    ParseInstallParameters(text, table);
    return Entries(table.begin(), table.end());
}

TEST(ParseInstallParameters, TakesKeyValueLines) {
    EXPECT_EQ(Parse("ConfigurationServer=192.0.2.10\nApplicationToken=tok3n\n"),
              (Entries{{"ApplicationToken", "tok3n"}, {"ConfigurationServer", "192.0.2.10"}}));
}

TEST(ParseInstallParameters, CrLfLineEndsGiveTheSameEntriesAsLf) {
    const Entries lf = Parse("Key=value\nSome Key= spaced \nEmpty=\n=x\n");
    const Entries crlf = Parse("Key=value\r\nSome Key= spaced \r\nEmpty=\r\n=x\r\n");
    EXPECT_EQ(lf, (Entries{{"", "x"}, {"Empty", ""}, {"Key", "value"}, {"Some Key", " spaced "}}));
    EXPECT_EQ(crlf, lf);
}

TEST(ParseInstallParameters, TrimsWhiteSpaceAroundTheKeyOnly) {
    EXPECT_EQ(Parse("  Key\t = value \n"), (Entries{{"Key", " value "}}));
    EXPECT_EQ(Parse("\v\f\tKey\f\v =x\n"), (Entries{{"Key", "x"}}));
    EXPECT_EQ(Parse("\rKey\r=x\n"), (Entries{{"Key", "x"}}));
    EXPECT_EQ(Parse("Some \t Key=x\n"), (Entries{{"Some \t Key", "x"}}));
}

TEST(ParseInstallParameters, TrimsOnlyLineEndsAroundTheValue) {
    EXPECT_EQ(Parse("Key=\t v \t\n"), (Entries{{"Key", "\t v \t"}}));
    EXPECT_EQ(Parse("Key=\r\rv\r\r\n"), (Entries{{"Key", "v"}}));
    EXPECT_EQ(Parse("Key=a\rb\r\n"), (Entries{{"Key", "a\rb"}}));
    EXPECT_EQ(Parse("Key=\v\fv\f\v\n"), (Entries{{"Key", "\v\fv\f\v"}}));
}

TEST(ParseInstallParameters, SplitsAtTheFirstEqualsSign) {
    EXPECT_EQ(Parse("Key=one=two\n"), (Entries{{"Key", "one=two"}}));
    EXPECT_EQ(Parse("ApplicationToken=tok3n==\n"), (Entries{{"ApplicationToken", "tok3n=="}}));
    EXPECT_EQ(Parse("Key===\n"), (Entries{{"Key", "=="}}));
}

TEST(ParseInstallParameters, TakesEmptyKeysAndValues) {
    EXPECT_EQ(Parse("=value\n"), (Entries{{"", "value"}}));
    EXPECT_EQ(Parse("=\n"), (Entries{{"", ""}}));
    EXPECT_EQ(Parse(" \t=\n"), (Entries{{"", ""}}));
    EXPECT_EQ(Parse("Key=\n"), (Entries{{"Key", ""}}));
}

TEST(ParseInstallParameters, HashIsAnOrdinaryCharacter) {
    InstallParameters table;
    ParseInstallParameters("#Key=value\n", table);
    EXPECT_EQ(Entries(table.begin(), table.end()), (Entries{{"#Key", "value"}}));
    EXPECT_EQ(FindInstallParameter(table, "Key"), nullptr);
    ASSERT_NE(FindInstallParameter(table, "#Key"), nullptr);
    EXPECT_EQ(*FindInstallParameter(table, "#Key"), "value");
}

TEST(ParseInstallParameters, DropsLinesWithoutEqualsSign) {
    EXPECT_EQ(Parse("Key value\n# a comment\nplain\n \t \n"), Entries{});
    EXPECT_EQ(Parse("\n\n\r\n\r"), Entries{});
    EXPECT_EQ(Parse(""), Entries{});
    EXPECT_EQ(Parse("\nA=1\n\n\r\nB=2\n"), (Entries{{"A", "1"}, {"B", "2"}}));
}

TEST(ParseInstallParameters, TakesALastLineWithoutLineFeed) {
    EXPECT_EQ(Parse("A=1\nB=2"), (Entries{{"A", "1"}, {"B", "2"}}));
    EXPECT_EQ(Parse("B=2\r"), (Entries{{"B", "2"}}));
}

TEST(ParseInstallParameters, OrdersKeysByUnsignedBytes) {
    EXPECT_EQ(Parse("alpha=1\n\xC3\xA9t\xC3\xA9=2\nz=3\nZone=4\n1x=5\nKeyLong=6\nKey=7\n"),
              (Entries{{"1x", "5"},
                       {"Key", "7"},
                       {"KeyLong", "6"},
                       {"Zone", "4"},
                       {"alpha", "1"},
                       {"z", "3"},
                       {"\xC3\xA9t\xC3\xA9", "2"}}));
}

TEST(ParseInstallParameters, KeepsEqualKeysInFileOrder) {
    InstallParameters table;
    ParseInstallParameters("B=1\na=2\nA=3\nB=4\n", table);
    EXPECT_EQ(Entries(table.begin(), table.end()),
              (Entries{{"A", "3"}, {"B", "1"}, {"B", "4"}, {"a", "2"}}));
    ASSERT_NE(FindInstallParameter(table, "B"), nullptr);
    EXPECT_EQ(*FindInstallParameter(table, "B"), "1");
}

TEST(ParseInstallParameters, AddsToATableThatHoldsEntries) {
    InstallParameters table;
    ParseInstallParameters("B=1\n", table);
    ParseInstallParameters("B=2\nA=0\n", table);
    EXPECT_EQ(Entries(table.begin(), table.end()), (Entries{{"A", "0"}, {"B", "1"}, {"B", "2"}}));
}

TEST(ParseInstallParameters, EndsTheTextAtTheFirstZeroByte) {
    using namespace std::string_view_literals;
    EXPECT_EQ(Parse("A=1\nB=2\0C=3\n"sv), (Entries{{"A", "1"}, {"B", "2"}}));
    EXPECT_EQ(Parse("A=1\0\nC=3\n"sv), (Entries{{"A", "1"}}));
    EXPECT_EQ(Parse("\0A=1\n"sv), Entries{});
}

TEST(ParseInstallParameters, KeepsAByteOrderMarkInTheFirstKey) {
    const std::string bom = "\xEF\xBB\xBF";
    InstallParameters table;
    ParseInstallParameters(bom + "ConfigurationServer=192.0.2.10\nApplicationToken=t\n", table);
    EXPECT_EQ(Entries(table.begin(), table.end()),
              (Entries{{"ApplicationToken", "t"}, {bom + "ConfigurationServer", "192.0.2.10"}}));
    EXPECT_EQ(FindInstallParameter(table, "ConfigurationServer"), nullptr);
}

TEST(ParseInstallParameters, FindsNothingInUtf16Text) {
    // "ConfigurationServer=x\r\n" as UTF-16LE, once with and once without a byte-order mark.
    std::string utf16;
    for (const char c : std::string_view("ConfigurationServer=x\r\n")) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    EXPECT_EQ(Parse(utf16), Entries{});
    EXPECT_EQ(Parse("\xFF\xFE" + utf16), Entries{});
}

TEST(FindInstallParameter, MatchesWholeKeysExactly) {
    InstallParameters table;
    ParseInstallParameters("ConfigurationServerX=1\nconfigurationserver=2\nConfig=3\n", table);
    EXPECT_EQ(FindInstallParameter(table, "ConfigurationServer"), nullptr);
    ASSERT_NE(FindInstallParameter(table, "Config"), nullptr);
    EXPECT_EQ(*FindInstallParameter(table, "Config"), "3");
    EXPECT_EQ(FindInstallParameter(InstallParameters{}, "Config"), nullptr);
}

TEST(FindInstallParameter, FindsTheEmptyKey) {
    InstallParameters table;
    ParseInstallParameters("A=1\n=first\n=second\n", table);
    ASSERT_NE(FindInstallParameter(table, ""), nullptr);
    EXPECT_EQ(*FindInstallParameter(table, ""), "first");
}

}  // namespace
}  // namespace corvane
