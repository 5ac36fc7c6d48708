#include "communication/ping_verdict.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

#include "communication/route_notes.h"
#include "util/printable_text.h"

namespace Ardentis {
namespace {

constexpr char kHostPort[] = "127.0.0.1:8443";

::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "\"" << text << "\" does not contain \"" << part << "\"";
}

// What the callbacks record of a complete answer with this status line.
PingAnswer Answer(const std::string& statusLine) {
    PingAnswer answer;
    answer.statusText = ReadStatusLine(statusLine).value_or(StatusLine{}).text;
    answer.headersEnded = true;
    return answer;
}

// The facts of a transfer that ended with result, status and what the callbacks saw.
PingError Classify(CURLcode result, long status, PingAnswer answer,
                   const std::string& detail = "") {
    PingFacts facts;
    facts.target.hostPort = kHostPort;
    facts.result = result;
    facts.detail = LibcurlWords(detail, "");
    facts.answer = std::move(answer);
    facts.answer.status = status;
    return ClassifyTransfer(facts);
}

TEST(ClassifyTransfer, SuccessfulStatusesAreNoError) {
    for (long status : {200L, 204L, 299L}) {
        SCOPED_TRACE(status);
        const PingError error =
            Classify(CURLE_OK, status, Answer("HTTP/1.1 " + std::to_string(status) + " X"));
        EXPECT_EQ(error.code, 0);
        EXPECT_EQ(error.message, "");
    }
}

TEST(ClassifyTransfer, OtherStatusIsError22WithStatusAndServer) {
    const PingError error = Classify(CURLE_OK, 401, Answer("HTTP/1.1 401 Unauthorized"));
    EXPECT_EQ(error.code, 22);
    EXPECT_TRUE(Contains(error.message, "401 Unauthorized"));
    EXPECT_TRUE(Contains(error.message, kHostPort));
}

TEST(ClassifyTransfer, RedirectIsNotSuccess) {
    const PingError error = Classify(CURLE_OK, 302, Answer("HTTP/1.1 302 Found"));
    EXPECT_EQ(error.code, 22);
    EXPECT_TRUE(Contains(error.message, "302 Found"));
}

TEST(ClassifyTransfer, StatusBelow200IsNotSuccess) {
    EXPECT_EQ(Classify(CURLE_OK, 199, Answer("HTTP/1.1 199 Odd")).code, 22);
    EXPECT_EQ(Classify(CURLE_OK, 300, Answer("HTTP/1.1 300 Multiple Choices")).code, 22);
}

TEST(ClassifyTransfer, StatusLineWithoutReasonStillNamesTheStatus) {
    const PingError error = Classify(CURLE_OK, 503, Answer("HTTP/2 503"));
    EXPECT_EQ(error.code, 22);
    EXPECT_TRUE(Contains(error.message, "503"));
}

// libcurl takes a connection closed inside the headers for a complete answer.
TEST(ClassifyTransfer, AnswerCutInItsHeadersIsNoAnswer) {
    PingAnswer record = Answer("HTTP/1.1 200 OK");
    record.headersEnded = false;
    const PingError error = Classify(CURLE_OK, 200, record);
    EXPECT_EQ(error.code, 8);
    EXPECT_TRUE(Contains(error.message, kHostPort));
}

// libcurl calls bytes that are not HTTP "HTTP/0.9" and refuses them as a protocol.
TEST(ClassifyTransfer, AnswerThatIsNotHttpIsNoAnswer) {
    const PingError error = Classify(CURLE_UNSUPPORTED_PROTOCOL, 0, PingAnswer{});
    EXPECT_EQ(error.code, 8);
    EXPECT_TRUE(Contains(error.message, kHostPort));
}

TEST(ClassifyTransfer, BodyCutByTheConnectionsLimitCountsAsAnswered) {
    PingAnswer record = Answer("HTTP/1.1 200 OK");
    record.bodyCut = true;
    const PingError error = Classify(CURLE_WRITE_ERROR, 200, record);
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(error.message, "");
}

TEST(ClassifyTransfer, BodyCutOnAFailedStatusStillReportsTheStatus) {
    PingAnswer record = Answer("HTTP/1.1 500 Internal Server Error");
    record.bodyCut = true;
    const PingError error = Classify(CURLE_WRITE_ERROR, 500, record);
    EXPECT_EQ(error.code, 22);
    EXPECT_TRUE(Contains(error.message, "500 Internal Server Error"));
}

TEST(ClassifyTransfer, WriteErrorWithoutCutIsAWriteError) {
    const PingError error = Classify(CURLE_WRITE_ERROR, 200, Answer("HTTP/1.1 200 OK"));
    EXPECT_EQ(error.code, 23);
    EXPECT_TRUE(Contains(error.message, kHostPort));
}

// Transport failures keep libcurl's code; the message says where it happened and carries
// libcurl's own detail.
TEST(ClassifyTransfer, TransportFailuresKeepTheirCodeAndNameTheServer) {
    for (CURLcode result :
         {CURLE_COULDNT_RESOLVE_HOST, CURLE_COULDNT_CONNECT, CURLE_OPERATION_TIMEDOUT,
          CURLE_SSL_CONNECT_ERROR, CURLE_PEER_FAILED_VERIFICATION, CURLE_SSL_PINNEDPUBKEYNOTMATCH,
          CURLE_RECV_ERROR}) {
        SCOPED_TRACE(static_cast<int>(result));
        const PingError error = Classify(result, 0, PingAnswer{}, "libcurl detail text");
        EXPECT_EQ(error.code, static_cast<int>(result));
        EXPECT_TRUE(Contains(error.message, kHostPort));
        EXPECT_EQ(error.message.find('\n'), std::string::npos);
    }
}

TEST(ClassifyTransfer, DetailAppearsInTheMessage) {
    for (CURLcode result :
         {CURLE_COULDNT_CONNECT, CURLE_OPERATION_TIMEDOUT, CURLE_SSL_CONNECT_ERROR,
          CURLE_PEER_FAILED_VERIFICATION, CURLE_RECV_ERROR}) {
        SCOPED_TRACE(static_cast<int>(result));
        EXPECT_TRUE(Contains(Classify(result, 0, PingAnswer{}, "libcurl detail text").message,
                             "libcurl detail text"));
    }
}

TEST(ClassifyTransfer, WithoutDetailNoEmptyParentheses) {
    EXPECT_FALSE(Contains(Classify(CURLE_COULDNT_CONNECT, 0, PingAnswer{}).message, "()"));
}

TEST(ClassifyTransfer, PinMismatchNamesThePinnedFile) {
    const PingError error = Classify(CURLE_SSL_PINNEDPUBKEYNOTMATCH, 0, PingAnswer{});
    EXPECT_EQ(error.code, 90);
    EXPECT_TRUE(Contains(error.message, "config/ConfigurationServer.PEM"));
}

// A status recorded before a transport failure does not hide the failure.
TEST(ClassifyTransfer, TransportFailureWinsOverAStatus) {
    const PingError error =
        Classify(CURLE_OPERATION_TIMEDOUT, 200, Answer("HTTP/1.1 200 OK"), "timed out");
    EXPECT_EQ(error.code, 28);
}

// Only printable ASCII reaches the console and the log: C0 and C1 controls, DEL and
// every other byte from 0x80 on are written out, in the reason phrase and in libcurl's
// detail alike.
TEST(Printable, WritesOutEveryByteOutsidePrintableAscii) {
    const struct {
        std::string text, shown;
    } rows[] = {
        {"Not Found ~", "Not Found ~"},
        {"\x1b]0;owned\x07\r", "\\x1b]0;owned\\x07\\x0d"},
        {"\x7f", "\\x7f"},
        {"\xc2\x9b"
         "2J",
         "\\xc2\\x9b2J"},  // CSI in UTF-8
        {"\x9b"
         "0m",
         "\\x9b0m"},  // CSI as one byte
        {"caf\xc3\xa9 \xff", "caf\\xc3\\xa9 \\xff"},
        {"a\\b", "a\\\\b"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(util::Printable(row.text), row.shown);
        EXPECT_TRUE(Contains(Classify(CURLE_RECV_ERROR, 0, PingAnswer{}, row.text).message,
                             "(" + row.shown + ")"));
        EXPECT_TRUE(Contains(Classify(CURLE_OK, 403, Answer("HTTP/1.1 403 " + row.text)).message,
                             "answered 403 " + row.shown));
    }
    // A path to copy keeps its backslashes and its length; controls are still written out.
    const std::string longPath = "C:\\Program Files\\" + std::string(200, 'x');
    EXPECT_EQ(util::PrintableAsIs(longPath), longPath);
    EXPECT_EQ(util::PrintableAsIs("/opt/a\x1b[2J"), "/opt/a\\x1b[2J");
}

}  // namespace
}  // namespace Ardentis
