#include "communication/ping_trace.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace Ardentis {

void PrintTo(const LogLine& line, std::ostream* out) {
    *out << static_cast<int>(line.level) << " " << line.text;
}

namespace {

constexpr auto kInfo = LogLine::Level::Info;
constexpr auto kWarn = LogLine::Level::Warn;
constexpr auto kError = LogLine::Level::Error;
constexpr char kKey[] = "sha256//ADF2dfDAfLi+8lz7B6feNr6Z6vzMCuz5dGfDH5lKxJI=";

// A direct first contact that got "200 OK" in 12.3456 ms, its clock right.
PingFacts Answered() {
    PingFacts facts;
    facts.target = {"localhost", "localhost:8443", 30, ""};
    facts.route = {"", "127.0.0.1, ::1", "127.0.0.1", 8443};
    facts.tls.version = "TLSv1.3";
    facts.tls.cipher = "TLS_AES_256_GCM_SHA384";
    facts.tls.certificate =
        CertificateFacts{"CN=localhost", "CN=Issuer", "2026-01-01", "2027-01-01", 200, kKey};
    facts.answer.status = 200;
    facts.times = {100, 1000, 5500, 12000, 12345};
    facts.localTime = facts.serverTime = 1'800'000'000;
    return facts;
}

// The trace's lines of one level.
std::vector<std::string> At(LogLine::Level level, const std::vector<LogLine>& lines) {
    std::vector<std::string> texts;
    for (const LogLine& line : lines)
        if (line.level == level) texts.push_back(line.text);
    return texts;
}

TEST(PingTrace, AnAnswerTracesEveryStep) {
    PingFacts facts = Answered();
    facts.target.pinnedKey = kKey;
    EXPECT_EQ(PingTrace(facts, {}),
              (std::vector<LogLine>{
                  {kInfo, "Name lookup: localhost: 127.0.0.1, ::1"},
                  {kInfo, "Connected to 127.0.0.1 port 8443, direct"},
                  {kInfo, "TLS: TLSv1.3, cipher TLS_AES_256_GCM_SHA384"},
                  {kInfo, std::string("Server certificate: subject CN=localhost, issuer CN=Issuer, "
                                      "valid 2026-01-01 to 2027-01-01, key ") +
                              kKey},
                  {kInfo, std::string("Pinned key: ") + kKey},
                  {kInfo, "HTTP status: 200"},
                  {kInfo,
                   "Times: name lookup 0.1 ms, connect 1.0 ms, TLS handshake 5.5 ms, "
                   "first byte 12.0 ms, total 12.3 ms"},
              }));
    EXPECT_EQ(CheckPassed(facts, "pinned key x"),
              (LogLine{kInfo,
                       "Check passed: the configuration server answered 200 in 12 ms over "
                       "TLSv1.3, pinned key x"}));
}

// Without an answer libcurl has no times of the steps; through a proxy the lookup is the
// proxy's; without a connection or a handshake their lines are left out.
TEST(PingTrace, NoAnswerThroughAProxy) {
    PingFacts facts = Answered();
    facts.route = {"http://proxy.test:3128/", "", "", 0};
    facts.tls = {};
    facts.answer.status = 0;
    EXPECT_EQ(
        PingTrace(facts, {CURLE_COULDNT_CONNECT, "x", "the connection"}),
        (std::vector<LogLine>{{kInfo, "Name lookup: left to the proxy http://proxy.test:3128/"},
                              {kInfo, "Times: total 12.3 ms"}}));
    facts.route.ip = "192.0.2.1";
    facts.route.port = 3128;
    EXPECT_EQ(At(kInfo, PingTrace(facts, {}))[1],
              "Connected to 192.0.2.1 port 3128, proxy http://proxy.test:3128/");
    EXPECT_EQ(CheckFailed({CURLE_COULDNT_CONNECT, "Cannot connect", "the connection"}),
              (LogLine{kError, "Check failed at the connection (error 7): Cannot connect"}));
}

TEST(PingTrace, CertificateLifetimeWarnings) {
    const struct {
        int daysLeft;
        LogLine::Level level;
        std::string text;  // empty: no warning
    } rows[] = {
        {-1, kError,
         "The server's certificate expired on 2027-01-01; its key is still pinned, "
         "but ask the server's owner to renew it"},
        {1, kWarn,
         "The server's certificate expires on 2027-01-01, in 1 day; ask the server's "
         "owner to renew it (with a new key: check it, then remove "
         "config/ConfigurationServer.PEM to pin again)"},
        {30, kWarn,
         "The server's certificate expires on 2027-01-01, in 30 days; ask the "
         "server's owner to renew it (with a new key: check it, then remove "
         "config/ConfigurationServer.PEM to pin again)"},
        {31, kWarn, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.daysLeft);
        PingFacts facts = Answered();
        facts.tls.certificate->daysLeft = row.daysLeft;
        const std::vector<std::string> warnings = At(row.level, PingTrace(facts, {}));
        EXPECT_EQ(warnings, row.text.empty() ? std::vector<std::string>{}
                                             : std::vector<std::string>{row.text});
        // A certificate refused on first contact has its refusal say it all.
        facts.tls.refusal = "it expired";
        EXPECT_EQ(At(row.level, PingTrace(facts, {})), std::vector<std::string>{});
    }
}

// A mismatch names both keys in full and the file, and gives no lifetime warning.
TEST(PingTrace, PinMismatchNamesBothKeys) {
    PingFacts facts = Answered();
    facts.target.pinnedKey = "sha256//pinned";
    facts.tls.certificate->daysLeft = -5;
    const std::vector<LogLine> lines =
        PingTrace(facts, {CURLE_SSL_PINNEDPUBKEYNOTMATCH, "x", "the server's certificate"});
    EXPECT_EQ(At(kError, lines),
              std::vector<std::string>{
                  std::string("Pin mismatch: the server presents key ") + kKey +
                  " (subject CN=localhost, issuer CN=Issuer) but config/ConfigurationServer.PEM "
                  "pins sha256//pinned. Compare the presented key with the server's owner; if it "
                  "is theirs, remove config/ConfigurationServer.PEM to pin it at the next ping"});
}

TEST(PingTrace, ClockAndSlowAnswer) {
    const struct {
        std::time_t serverAhead;
        std::int64_t totalMicroseconds;  // of a 30 s timeout
        std::size_t warnings;
    } rows[] = {
        {300, 15'000'000, 0},   // both at their limit
        {301, 0, 1},            // the clock only
        {-301, 0, 1},           // a server behind
        {0, 15'000'001, 1},     // the speed only
        {-400, 29'000'000, 2},  // both
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.serverAhead);
        PingFacts facts = Answered();
        facts.serverTime = facts.localTime + row.serverAhead;
        facts.times.total = row.totalMicroseconds;
        EXPECT_EQ(At(kWarn, PingTrace(facts, {})).size(), row.warnings);
    }
    PingFacts facts = Answered();
    facts.serverTime = facts.localTime + 3600;
    facts.times.total = 20'000'000;
    EXPECT_EQ(At(kWarn, PingTrace(facts, {})),
              (std::vector<std::string>{
                  "Clock: the server's time is 2027-01-15 09:00:00 UTC, this machine's "
                  "2027-01-15 08:00:00 UTC; certificate and token checks fail on a wrong clock: "
                  "set the right time on whichever is wrong",
                  "Slow answer: the ping took 20000 ms, more than half of its timeout of 30 s "
                  "(ConfigurationServerTimeout); check the network or the server's load"}));
    facts.serverTime = -1;  // no Date header, or one that is no date
    EXPECT_EQ(At(kWarn, PingTrace(facts, {})).size(), 1u);
}

}  // namespace
}  // namespace Ardentis
