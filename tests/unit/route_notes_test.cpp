#include "communication/route_notes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "communication/ping_trace.h"

namespace Ardentis {
namespace {

// The attempts after libcurl's notes (each "text@ms"), settled by result and primaryIp.
std::vector<std::string> Described(const std::vector<std::pair<std::string, double>>& notes,
                                   CURLcode result, const std::string& primaryIp, double endMs) {
    std::vector<ConnectAttempt> attempts;
    for (const auto& [text, ms] : notes) NoteConnectText(attempts, text, ms);
    SettleAttempts(attempts, result, primaryIp, endMs);
    std::vector<std::string> lines;
    for (const ConnectAttempt& attempt : attempts) lines.push_back(DescribeAttempt(attempt));
    return lines;
}

TEST(ConnectAttempts, FollowsLibcurlsNotes) {
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, double>> notes;
        CURLcode result;
        std::string primaryIp;
        std::vector<std::string> expected;
    };
    const std::vector<Row> rows = {
        {"first drops, second answers",
         {{"  Trying 127.0.0.2:8443...\n", 1},
          {"ipv4 connect timeout after 1000ms, move on!\n", 1001},
          {"  Trying 127.0.0.1:8443...\n", 1001},
          {"Connected to twin.test (127.0.0.1) port 8443 (#0)\n", 1003}},
         CURLE_OK,
         "127.0.0.1",
         {"127.0.0.2 port 8443: timed out after 1000 ms",
          "127.0.0.1 port 8443: connected after 2 ms"}},
        {"refused, then unreachable, then the overall timeout",
         {{"  Trying [::1]:443...\n", 0},
          {"connect to ::1 port 443 failed: Connection refused\n", 0.4},
          {"  Trying 127.0.0.1:443...", 1},
          {"Immediate connect fail for 127.0.0.1: Network is unreachable", 2},
          {"  Trying 127.0.0.3:443...", 3},
          {"Failed to connect to host port 443 after 5 ms: Timeout was reached", 5}},
         CURLE_OPERATION_TIMEDOUT,
         "",
         {"::1 port 443: refused after 0 ms", "127.0.0.1 port 443: unreachable after 1 ms",
          "127.0.0.3 port 443: timed out after 2 ms"}},
        {"a connection that TLS then ended is still connected",
         {{"  Trying 127.0.0.1:443...", 0}},
         CURLE_SSL_CONNECT_ERROR,
         "127.0.0.1",
         {"127.0.0.1 port 443: connected after 5 ms"}},
        {"other words of the system, made printable",
         {{"  Trying 10.0.0.1:443...", 0},
          {"connect to 10.0.0.1 port 443 failed: Bad \x1b day", 3}},
         CURLE_COULDNT_CONNECT,
         "",
         {"10.0.0.1 port 443: failed (Bad \\x1b day) after 3 ms"}},
        {"notes that are not about attempts",
         {{"Uses proxy env variable no_proxy == '*'", 0}, {"  Trying nonsense...", 0}},
         CURLE_COULDNT_RESOLVE_HOST,
         "",
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Described(row.notes, row.result, row.primaryIp, 5), row.expected);
    }
}

}  // namespace
}  // namespace Ardentis
