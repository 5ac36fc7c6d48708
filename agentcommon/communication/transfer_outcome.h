// How a finished transfer to the configuration server reads as a ping's outcome.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace Ardentis {

// What the connection's callbacks saw of the answer.
struct TransferRecord {
    std::string statusLine;     // "HTTP/1.1 401 Unauthorized", without the line end
    bool headersEnded = false;  // the blank line after the headers arrived
    std::size_t bodyBytes = 0;
    bool bodyCut = false;  // the body was longer than the connection reads
    std::string date;      // the answer's Date header
};

struct PingError {
    std::int32_t code = 0;  // 0 after a 2xx answer, 22 after another status, else libcurl's
    std::string message;    // empty with code 0; otherwise what failed and where
};

// result and status are libcurl's; detail is its error buffer (may be empty). An answer
// that is not HTTP, or one cut off in its headers, counts as none (code 8); a body cut
// by the connection's own limit does not count against the answer.
PingError ClassifyTransfer(CURLcode result, long status, const TransferRecord& record,
                           const std::string& hostPort, const std::string& detail);

}  // namespace Ardentis
