// The ping: bring up the agent's configuration and connection services, ping the
// configuration server once and take the services down again.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "agentcommon/CorvaneCommon.h"
#include "check/ping_outcome.h"

namespace corvane {

// The objects a ping creates that must outlive the report. Members are destroyed in
// reverse order of declaration, which is the reverse of their creation.
struct PingSession {
    std::shared_ptr<Ardentis::IConnection> connection;
    std::unique_ptr<Ardentis::ClientConfigurationHelper> helper;
    std::string descriptor;
    std::shared_ptr<Ardentis::ServiceConfig> serviceConfig;
    std::wstring certificatePath;
};

struct PingResult {
    // Set when the ping was made.
    std::optional<PingOutcome> outcome;
    // Otherwise what could not be brought up, for the user: "the ConnectionFactory service".
    std::string unavailable;
};

// Pings once and ends with ACE::fini, also when something could not be brought up; in
// that case nothing that is missing is used and what was acquired is released.
PingResult RunPing(PingSession& session);

}  // namespace corvane
