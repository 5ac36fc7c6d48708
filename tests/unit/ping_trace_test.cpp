#include "communication/ping_trace.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace Ardentis {
namespace {

using Texts = std::vector<std::string>;

// A direct first contact answered "200 OK" in 12.345 ms, the clocks agreeing.
PingFacts Answered() {
    PingFacts facts;
    facts.target = {"localhost", "localhost:8443", 30, 10, "P", "", "", ""};
    facts.route.attempts = {{"127.0.0.1", 8443, AttemptOutcome::Connected, "", 0.1, 0.4}};
    facts.route.ip = "127.0.0.1";
    facts.route.port = 8443;
    facts.tls = {"TLSv1.3", "TLS_X",
                 CertificateFacts{"CN=a", "CN=b", "2026-01-01", "2027-01-01", 200, "K"}, "", false};
    facts.answer.status = 200;
    facts.times = {100, 1000, 5500, 12000, 12345};
    facts.localTime = facts.serverTime = 1'800'000'000;  // 2027-01-15 08:00:00 UTC
    return facts;
}

// The first clause (up to "; " or ". ") of each line of the trace of one level: I, W or E.
Texts At(char level, const PingFacts& facts, int code = 0) {
    Texts texts;
    for (const LogLine& line : PingTrace(facts, {code, "", ""}))
        if ("IWE"[static_cast<int>(line.level)] == level)
            texts.push_back(
                line.text.substr(0, std::min(line.text.find("; "), line.text.find(". "))));
    return texts;
}

TEST(PingTrace, EveryStepOfAnAnswerAndTheVerdicts) {
    EXPECT_EQ(
        At('I', Answered()),
        (Texts{
            "Proxy: none (no https_proxy, HTTPS_PROXY, all_proxy or ALL_PROXY set)",
            "Name lookup: localhost: 127.0.0.1 (tried in this order up to the one that answered)",
            "Connect attempt: 127.0.0.1 port 8443: connected after 0 ms",
            "Connected to 127.0.0.1 port 8443, direct", "TLS: TLSv1.3, cipher TLS_X",
            "Server certificate: subject CN=a, issuer CN=b, valid 2026-01-01 to 2027-01-01, key K",
            "Pinned key: P", "HTTP status: 200",
            "Times: name lookup 0.1 ms, connect 1.0 ms, TLS handshake 5.5 ms, first byte 12.0 ms, "
            "total 12.3 ms"}));
    EXPECT_EQ(
        CheckPassed(Answered(), "pinned key P").text,
        "Check passed: the configuration server answered 200 in 12 ms over TLSv1.3, pinned key P");
    EXPECT_EQ(CheckFailed({7, "Cannot connect", "the connection"}).text,
              "Check failed at the connection (error 7): Cannot connect");
    PingTarget target = Answered().target;
    EXPECT_EQ(PingStarts("https://h/ping", target).text,
              "Pinging https://h/ping (connect timeout 10 s, timeout 30 s, pinned certificate)");
    target.pinnedKey.clear();
    EXPECT_EQ(PingStarts("https://h/ping", target).text,
              "Pinging https://h/ping (connect timeout 10 s, timeout 30 s, first contact)");
}

// Without an answer libcurl has no times of the steps; through a proxy the lookup is its.
TEST(PingTrace, NoAnswerThroughAProxy) {
    PingFacts facts = Answered();
    facts.target.pinnedKey.clear();
    facts.route = {};
    facts.route.proxy.url = "http://p:3128/";
    facts.route.proxy.variable = "https_proxy";
    facts.route.proxy.connected = true;
    facts.route.ip = "192.0.2.1";
    facts.route.port = 3128;
    facts.tls = {};
    facts.answer.status = 0;
    EXPECT_EQ(At('I', facts), (Texts{"Proxy: http://p:3128/, named by https_proxy",
                                     "Name lookup: localhost: left to the proxy http://p:3128/",
                                     "Connected to 192.0.2.1 port 3128, proxy http://p:3128/",
                                     "Times: total 12.3 ms"}));
}

// A refused or mismatched certificate has its own line say it all.
TEST(PingTrace, CertificateWarnings) {
    const struct {
        int daysLeft, code;
        Texts warnings, errors;
    } rows[] = {
        {31, 0, {}, {}},
        {30, 0, {"The server's certificate expires on 2027-01-01, in 30 days"}, {}},
        {1, 0, {"The server's certificate expires on 2027-01-01, in 1 day"}, {}},
        {-1, 0, {}, {"The server's certificate expired on 2027-01-01"}},
        {-1, CURLE_PEER_FAILED_VERIFICATION, {}, {}},
        {-1,
         CURLE_SSL_PINNEDPUBKEYNOTMATCH,
         {},
         {"Pin mismatch: the server presents key K (subject CN=a, issuer CN=b) but "
          "config/ConfigurationServer.PEM pins P"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.daysLeft);
        PingFacts facts = Answered();
        facts.tls.certificate->daysLeft = row.daysLeft;
        if (row.code == CURLE_PEER_FAILED_VERIFICATION) facts.tls.refusal = "it expired";
        EXPECT_EQ(At('W', facts, row.code), row.warnings);
        EXPECT_EQ(At('E', facts, row.code), row.errors);
    }
}

TEST(PingTrace, ClockAndSlowAnswer) {
    // Seconds the server's clock is ahead, microseconds the ping took of its 30 s.
    const struct {
        std::time_t ahead;
        std::int64_t took;
        std::size_t warnings;
    } rows[] = {{300, 15'000'000, 0}, {-300, 0, 0}, {301, 0, 1}, {-301, 0, 1}, {0, 15'000'001, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ahead);
        PingFacts facts = Answered();
        facts.serverTime += row.ahead;
        facts.times.total = row.took;
        EXPECT_EQ(At('W', facts).size(), row.warnings);
    }
    PingFacts facts = Answered();
    facts.serverTime += 3600;
    facts.times.total = 15'000'400;
    EXPECT_EQ(At('W', facts), (Texts{"Clock: the server's time is 2027-01-15 09:00:00 UTC, "
                                     "this machine's 2027-01-15 08:00:00 UTC",
                                     "Slow answer: the ping took 15000 ms, more than half "
                                     "of its timeout of 30 s (ConfigurationServerTimeout)"}));
    facts.serverTime = -1;  // no Date header, or none that reads as a time
    EXPECT_EQ(At('W', facts).size(), 1u);
}

}  // namespace
}  // namespace Ardentis
