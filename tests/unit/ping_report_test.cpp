#include "check/ping_report.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <iostream>
#include <string>

#include "tests/unit/test_support.h"

namespace corvane {
namespace {

using test::CaptureStream;

std::string Report(const InstallParameters& parameters, const PingOutcome& outcome) {
    CaptureStream out(std::cout);
    PrintPingReport(parameters, outcome);
    return out.Text();
}

InstallParameters Table(std::string_view text) {
    InstallParameters table;
    ParseInstallParameters(text, table);
    return table;
}

// The whole report for these parameter lines and a default outcome (no certificate,
// codes 0, no message).
std::string ExpectedWithLines(const std::string& parameterLines) {
    return "\n\nCorvane pinging with config/install_config.txt parameters:\n" + parameterLines +
           "\nCertificate file config/ConfigurationServer.PEM existence: Before pinging: false "
           "After pinging: false\n"
           "Last response code: 0x00000000\n"
           "Last error code: 0x00000000\n"
           "Last error message: \n";
}

TEST(PrintPingReport, WorkedExample) {
    const InstallParameters table = Table(
        "ConfigurationServer=192.0.2.10\nApplicationToken=tok3n==\n"
        "#ConfigurationServer=192.0.2.99\n");
    PingOutcome outcome;
    outcome.certificateBefore = false;
    outcome.certificateAfter = true;
    outcome.lastResponseCode = 200;
    outcome.lastErrorCode = 0;
    outcome.lastErrorMessage = "";
    EXPECT_EQ(Report(table, outcome),
              "\n\nCorvane pinging with config/install_config.txt parameters:\n"
              "ApplicationToken = tok3n==\n"
              "ConfigurationServer = 192.0.2.10\n"
              "\n"
              "Certificate file config/ConfigurationServer.PEM existence: Before pinging: false "
              "After pinging: true\n"
              "Last response code: 0x000000c8\n"
              "Last error code: 0x00000000\n"
              "Last error message: \n");
}

TEST(PrintPingReport, CertificateWords) {
    PingOutcome outcome;
    outcome.certificateBefore = true;
    outcome.certificateAfter = false;
    EXPECT_NE(Report({}, outcome).find("existence: Before pinging: true After pinging: false\n"),
              std::string::npos);
    outcome.certificateAfter = true;
    EXPECT_NE(Report({}, outcome).find("existence: Before pinging: true After pinging: true\n"),
              std::string::npos);
}

TEST(PrintPingReport, CodesShowTheir32BitPatternInEightDigits) {
    struct Case {
        std::int32_t code;
        std::string digits;
    };
    const Case cases[] = {
        {0, "00000000"},  {200, "000000c8"},     {-1, "ffffffff"},
        {22, "00000016"}, {INT_MAX, "7fffffff"}, {INT_MIN, "80000000"},
    };
    for (const Case& c : cases) {
        PingOutcome outcome;
        outcome.lastResponseCode = c.code;
        outcome.lastErrorCode = c.code;
        const std::string report = Report({}, outcome);
        const std::string tail = "\nLast response code: 0x" + c.digits + "\nLast error code: 0x" +
                                 c.digits + "\nLast error message: \n";
        ASSERT_GE(report.size(), tail.size());
        EXPECT_EQ(report.substr(report.size() - tail.size()), tail) << "code " << c.code;
    }
}

TEST(PrintPingReport, ResponseAndErrorCodeKeepTheirLines) {
    PingOutcome outcome;
    outcome.lastResponseCode = 404;
    outcome.lastErrorCode = -1;
    const std::string report = Report({}, outcome);
    EXPECT_NE(report.find("Last response code: 0x00000194\nLast error code: 0xffffffff\n"),
              std::string::npos)
        << report;
}

TEST(PrintPingReport, PutsTheFillCharacterBack) {
    CaptureStream out(std::cout);
    std::cout.fill('*');
    PingOutcome outcome;
    outcome.lastResponseCode = 200;
    PrintPingReport(Table("Key=value\n"), outcome);
    EXPECT_EQ(std::cout.fill(), '*');
    EXPECT_EQ(std::cout.width(), 0);
    // Nothing but the two codes was padded.
    EXPECT_EQ(out.Text().find('*'), std::string::npos);
}

TEST(PrintPingReport, SkipsEmptyKeysAndKeysStartingWithHash) {
    const InstallParameters table = Table("a#b=1\n#x=2\n=3\n # y=4\nb=5\n");
    EXPECT_EQ(Report(table, {}), ExpectedWithLines("a#b = 1\nb = 5\n"));
}

// Printable ASCII as stored, backslashes and blanks included; every other byte of the
// file, keys too, as \xHH, so that the file cannot drive the terminal.
TEST(PrintPingReport, WritesValuesAsStoredButForTheirControlBytes) {
    const InstallParameters table = Table(
        "Empty=\nConfigurationServer = x\nTabs=\ta\t\nPath=C:\\a b\\\n"
        "X=\x1b]0;owned\x07\x1b[2JCheck passed\nK\xc3\xa9y=caf\xc3\xa9\n");
    EXPECT_EQ(Report(table, {}),
              ExpectedWithLines("ConfigurationServer =  x\nEmpty = \nK\\xc3\\xa9y = caf\\xc3\\xa9\n"
                                "Path = C:\\a b\\\nTabs = \\x09a\\x09\n"
                                "X = \\x1b]0;owned\\x07\\x1b[2JCheck passed\n"));
}

TEST(PrintPingReport, PrintsRepeatedKeysInLoadOrder) {
    const InstallParameters table = Table("Key=second-sorted\nA=0\nKey=first-loaded-last\n");
    EXPECT_EQ(Report(table, {}),
              ExpectedWithLines("A = 0\nKey = second-sorted\nKey = first-loaded-last\n"));
}

TEST(PrintPingReport, PrintsKeysInByteOrder) {
    const InstallParameters table = Table("alpha=1\nZone=2\n1x=3\n");
    EXPECT_EQ(Report(table, {}), ExpectedWithLines("1x = 3\nZone = 2\nalpha = 1\n"));
}

TEST(PrintPingReport, EmptyTableGivesHeadingThenEmptyLine) {
    EXPECT_EQ(Report({}, {}), ExpectedWithLines(""));
}

TEST(PrintPingReport, WritesTheMessageUnchanged) {
    PingOutcome outcome;
    outcome.lastErrorMessage = "first line\nsecond line\r\n\tthird";
    const std::string report = Report({}, outcome);
    const std::string tail = "Last error message: first line\nsecond line\r\n\tthird\n";
    ASSERT_GE(report.size(), tail.size());
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

}  // namespace
}  // namespace corvane
