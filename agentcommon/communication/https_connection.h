// A connection to the configuration server over HTTPS.
#pragma once

#include "agentcommon/CorvaneCommon.h"

namespace Ardentis {

// Each Ping reads the server address, the token and the timeouts from install_config.txt,
// sends GET <base>/ping with the token as a bearer credential and records the outcome.
// The server's certificate is trusted on first use: after the first 2xx answer it is
// saved to ConfigurationServer.PEM, and from then on only a server presenting that
// certificate's public key is spoken to.
class HttpsConnection final : public IConnection {
  public:
    bool Ping() override;
    std::int32_t GetLastErrorCode() const override { return errorCode_; }
    std::int32_t GetLastResponseCode() const override { return responseCode_; }
    std::string GetLastErrorMessage() const override { return errorMessage_; }

  private:
    // Records the outcome; a failure is logged as the check's verdict, naming step.
    bool Finish(std::int32_t errorCode, std::string message, const char* step);

    std::int32_t errorCode_ = 0;
    std::int32_t responseCode_ = 0;
    std::string errorMessage_;
};

}  // namespace Ardentis
