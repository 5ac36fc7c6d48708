#include "install/install_lint.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/install_keys.h"

namespace corvane {
namespace {

using Warnings = std::vector<std::string>;

Warnings Lint(std::string_view text) {
    InstallParameters table;
    ParseInstallParameters(text, table);
    return LintInstallParameters(table);
}

TEST(EditDistance, CountsLettersChangedAddedOrLeftOut) {
    const struct {
        std::string_view a, b;
        std::size_t distance;
    } rows[] = {
        {"", "", 0},      {"abc", "abc", 0}, {"", "abc", 3},
        {"abc", "", 3},   {"abc", "abd", 1}, {"abc", "ab", 1},
        {"ab", "abc", 1}, {"abc", "cab", 2}, {"Timout", "Timeout", 1},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EditDistance(row.a, row.b), row.distance) << row.a << " / " << row.b;
    }
}

TEST(MeantKey, NamesTheKnownKeyOfAMisspeltOrMiscasedOne) {
    const struct {
        std::string_view key, meant;
    } rows[] = {
        {"ConfigurationServer", ""},  // known keys mean themselves
        {"ApplicationToken", ""},
        {"configurationserver", "ConfigurationServer"},  // case
        {"APPLICATIONTOKEN", "ApplicationToken"},
        {"ConfigurationServerTimout", "ConfigurationServerTimeout"},  // a letter left out
        {"ApplicatonTokn", "ApplicationToken"},                       // two
        {"ApplcatnTokn", ""},                                         // three: another key
        {"\xEF\xBB\xBF"
         "ApplicationTokn",
         "ApplicationToken"},  // a byte-order mark aside
        {"\xEF\xBB\xBF"
         "ApplicationToken",
         ""},
        {"LogLevel", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(MeantKey(row.key), row.meant) << row.key;
}

TEST(LintInstallParameters, ACleanFileGivesNoWarning) {
    EXPECT_EQ(Lint("ConfigurationServer=h:1\nApplicationToken=t\nConfigurationServerTimeout= 5\n"
                   "#ConfigurationServr=old\nOther=x\n=y\n"),
              Warnings{});
}

// Findings on keys in the table's order (bytes from 0x80 last), then on repeats and values;
// never the token's value, whatever is wrong with it.
TEST(LintInstallParameters, EachFindingSaysHowToMendIt) {
    EXPECT_EQ(
        Lint("\xEF\xBB\xBF"
             "ApplicationToken=t\nConfigurationServer= h:1\nConfigurationServer=b\n"
             "configurationServer\x1b=c\nApplicationToken= s3cret \nApplicationToken=v\n"),
        (Warnings{
            "install_config.txt: the key 'configurationServer\\x1b' is not one the agent reads; "
            "if it means ConfigurationServer, write it exactly so (keys are case-sensitive)",
            "install_config.txt begins with a UTF-8 byte-order mark, which becomes part of the "
            "first key '\\xef\\xbb\\xbfApplicationToken': save the file without it (plain ASCII, "
            "or UTF-8 without a byte-order mark)",
            "install_config.txt names ConfigurationServer 2 times; only the first in the file "
            "counts: remove the others",
            "install_config.txt: the value of ConfigurationServer has blanks around it; the "
            "agent leaves them out but the report shows them: remove them",
            "install_config.txt names ApplicationToken 2 times; only the first in the file "
            "counts: remove the others",
            "install_config.txt: the value of ApplicationToken has blanks around it; the "
            "agent leaves them out but the report shows them: remove them",
        }));
}

TEST(TimeoutSeconds, WholeSecondsInRangeOrTheDefault) {
    const InstallKey& key = KnownInstallKey(kTimeoutKey);
    const struct {
        std::string value;
        long seconds;  // 0: refused
    } rows[] = {
        {"", 30},    {"  ", 30}, {"1", 1},  {" 3600\r", 3600}, {"0", 0},
        {"3601", 0}, {"-5", 0},  {"5s", 0}, {"1.5", 0},        {"99999999999999999999", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        const util::Expected<long> seconds = TimeoutSeconds(key, row.value);
        EXPECT_EQ(seconds ? *seconds : 0, row.seconds);
    }
    EXPECT_EQ(TimeoutSeconds(KnownInstallKey(kConnectTimeoutKey), "0\x1b").Error().reason,
              "ConfigurationServerConnectTimeout '0\\x1b' is not a whole number of seconds "
              "from 1 to 3600; using 10 s");
}

TEST(InstallKeys, TheRequiredKeysAreCheckedInOrderAndOnlyTheTokenIsSecret) {
    std::vector<std::string_view> required, secret;
    for (const InstallKey& key : kInstallKeys) {
        if (key.required) required.push_back(key.name);
        if (key.secret) secret.push_back(key.name);
    }
    EXPECT_EQ(required, (std::vector<std::string_view>{"ConfigurationServer", "ApplicationToken"}));
    EXPECT_EQ(secret, std::vector<std::string_view>{"ApplicationToken"});
}

}  // namespace
}  // namespace corvane
