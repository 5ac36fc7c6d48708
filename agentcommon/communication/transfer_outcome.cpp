#include "agentcommon/communication/transfer_outcome.h"

#include "agentcommon/communication/server_text.h"

namespace Ardentis {
namespace {

// "401 Unauthorized" from "HTTP/1.1 401 Unauthorized". The server chose the words: they
// reach the console and the log only printable and bounded.
std::string StatusText(const std::string& statusLine, long status) {
    const std::size_t space = statusLine.find(' ');
    return space == std::string::npos ? std::to_string(status)
                                      : Printable(std::string_view(statusLine).substr(space + 1));
}

std::string Describe(CURLcode result, const std::string& hostPort, const std::string& detail) {
    const std::string server = "the configuration server at " + hostPort;
    const std::string why = detail.empty() ? std::string() : " (" + Printable(detail) + ")";
    switch (result) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "Cannot resolve the host name of " + server + why;
        case CURLE_COULDNT_CONNECT:
            return "Cannot connect to " + server + why;
        case CURLE_OPERATION_TIMEDOUT:
            return "No answer in time from " + server + why;
        case CURLE_SSL_CONNECT_ERROR:
            return "The TLS handshake with " + server + " failed" + why;
        case CURLE_PEER_FAILED_VERIFICATION:
            return "The certificate of " + server + " is not valid for that address" + why;
        case CURLE_WEIRD_SERVER_REPLY:
            return "No complete HTTP answer from " + server + why;
        case CURLE_OUT_OF_MEMORY:
            return "The answer of " + server + " has a header too large to read" + why;
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return "The certificate of " + server +
                   " does not match the one pinned in config/ConfigurationServer.PEM; if the "
                   "server's certificate was replaced on purpose, check the new one and then "
                   "delete that file so that the next ping trusts it";
        default:
            return "The ping of " + server + " failed: " + curl_easy_strerror(result) + why;
    }
}

}  // namespace

PingError ClassifyTransfer(CURLcode result, long status, const TransferRecord& record,
                           const std::string& hostPort, const std::string& detail) {
    CURLcode failure = result;
    // libcurl calls an answer that is not HTTP "HTTP/0.9", and takes a connection closed
    // in the middle of the headers for a complete answer.
    if (result == CURLE_UNSUPPORTED_PROTOCOL || (result == CURLE_OK && !record.headersEnded))
        failure = CURLE_WEIRD_SERVER_REPLY;
    if (failure == CURLE_WRITE_ERROR && record.bodyCut) failure = CURLE_OK;
    if (failure != CURLE_OK) return {failure, Describe(failure, hostPort, detail)};
    if (status < 200 || status > 299)
        return {CURLE_HTTP_RETURNED_ERROR, "The configuration server at " + hostPort +
                                               " answered " +
                                               StatusText(record.statusLine, status)};
    return {};
}

}  // namespace Ardentis
