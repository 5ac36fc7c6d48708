// A connection to the configuration server over HTTPS.
#pragma once

#include "agentcommon/CorvaneCommon.h"
#include "communication/ping_facts.h"

namespace Ardentis {

// Each Ping reads the server address, the token and the timeouts from install_config.txt,
// sends GET <base>/ping with the token as a bearer credential and records the outcome.
// The server's certificate is trusted on first use: after the first 2xx answer it is
// saved to ConfigurationServer.PEM, and from then on only a server presenting that
// certificate's public key is spoken to.
class HttpsConnection final : public IConnection {
  public:
    bool Ping() override;
    std::int32_t GetLastErrorCode() const override { return error_.code; }
    std::int32_t GetLastResponseCode() const override { return responseCode_; }
    std::string GetLastErrorMessage() const override { return error_.message; }

  private:
    // Records the outcome; a failure is logged as the check's verdict.
    bool Finish(PingError error);

    PingError error_;
    std::int32_t responseCode_ = 0;
};

}  // namespace Ardentis
