// Why a ping failed, as the connection reports it.
#pragma once

#include <cstdint>
#include <string>

namespace Ardentis {

struct PingError {
    /// 0 after a 2xx answer, 22 after another status, otherwise a libcurl code.
    std::int32_t code = 0;
    /// Empty with code 0; otherwise what failed and where, for the report.
    std::string message;
    /// The step of the ping it stopped at, for the log's verdict ("the TLS handshake").
    const char* step = "";
};

}  // namespace Ardentis
