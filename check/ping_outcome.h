// What one ping of the configuration server left behind.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

struct PingOutcome {
    bool certificateBefore = false;  // ConfigurationServer.PEM present before the ping
    bool certificateAfter = false;   // ... and after it
    std::int32_t lastResponseCode = 0;
    std::int32_t lastErrorCode = 0;
    std::string lastErrorMessage;
};

}  // namespace corvane
