#include "app/command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "tests/unit/test_support.h"

namespace corvane {
namespace {

using test::CaptureStream;

constexpr const char* kUsage =
    "Usage: CorvanePing [options]\n"
    " There are no actual options for the program; it validates the current configuration "
    "(including logging levels, which may or may not be helpful).\n";

struct ParseResult {
    bool goOn;
    std::string out;
    std::string err;
};

// Parses the program name followed by arguments, as the process would receive them.
ParseResult Parse(std::initializer_list<std::string> arguments) {
    std::vector<std::string> storage{"CorvanePing"};
    storage.insert(storage.end(), arguments);
    std::vector<char*> argv;
    for (std::string& argument : storage) argv.push_back(argument.data());
    argv.push_back(nullptr);

    CaptureStream out(std::cout);
    CaptureStream err(std::cerr);
    const bool goOn = CommandLine().Parse(static_cast<int>(storage.size()), argv.data());
    return {goOn, out.Text(), err.Text()};
}

TEST(CommandLine, NoArgumentsGoOnQuietly) {
    const ParseResult result = Parse({});
    EXPECT_TRUE(result.goOn);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

TEST(CommandLine, EmptyArgumentVectorGoesOn) {
    char* argv[] = {nullptr};
    CaptureStream out(std::cout);
    EXPECT_TRUE(CommandLine().Parse(0, argv));
    EXPECT_EQ(out.Text(), "");
}

TEST(CommandLine, HelpPrintsTheUsageAndStops) {
    for (const char* help : {"-h", "--help", "--he"}) {
        const ParseResult result = Parse({help});
        EXPECT_FALSE(result.goOn) << help;
        EXPECT_EQ(result.out, kUsage) << help;
        EXPECT_EQ(result.err, "") << help;
    }
}

TEST(CommandLine, UnknownOptionPrintsTheLibraryMessageAndStops) {
    const ParseResult result = Parse({"--verbose"});
    EXPECT_FALSE(result.goOn);
    EXPECT_EQ(result.out, "unrecognised option '--verbose'\n");
    EXPECT_EQ(result.err, "");
}

TEST(CommandLine, UnknownOptionWinsOverHelp) {
    for (const auto& arguments : {std::vector<std::string>{"--help", "--verbose"},
                                  std::vector<std::string>{"--verbose", "-h"}}) {
        const ParseResult result = Parse({arguments[0], arguments[1]});
        EXPECT_FALSE(result.goOn);
        EXPECT_EQ(result.out, "unrecognised option '--verbose'\n");
    }
}

TEST(CommandLine, OtherRejectionsPrintOneLine) {
    struct Case {
        std::string argument;
        std::string message;
    };
    const Case cases[] = {
        {"--help=yes", "option '--help' does not take any arguments\n"},
        {"-x", "unrecognised option '-x'\n"},
        {"--HELP", "unrecognised option '--HELP'\n"},
    };
    for (const Case& c : cases) {
        const ParseResult result = Parse({c.argument});
        EXPECT_FALSE(result.goOn) << c.argument;
        EXPECT_EQ(result.out, c.message) << c.argument;
    }
    const ParseResult twice = Parse({"-h", "--help"});
    EXPECT_FALSE(twice.goOn);
    EXPECT_EQ(twice.out, "option '--help' cannot be specified more than once\n");
}

// The option library keeps words that are no option as positional tokens and stores
// nothing for them when no positional options are declared, so they pass unnoticed.
TEST(CommandLine, PositionalWordsPassUnnoticed) {
    const ParseResult result = Parse({"extra"});
    EXPECT_TRUE(result.goOn);
    EXPECT_EQ(result.out, "");
}

TEST(CommandLine, KeepsNoStateBetweenCalls) {
    std::vector<std::string> storage{"CorvanePing", "--verbose"};
    char* verbose[] = {storage[0].data(), storage[1].data(), nullptr};
    char* none[] = {storage[0].data(), nullptr};
    CommandLine commandLine;
    CaptureStream out(std::cout);
    EXPECT_FALSE(commandLine.Parse(2, verbose));
    EXPECT_TRUE(commandLine.Parse(1, none));
    EXPECT_EQ(out.Text(), "unrecognised option '--verbose'\n");
}

}  // namespace
}  // namespace corvane
