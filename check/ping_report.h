// The report printed after a completed ping.
#pragma once

#include "check/ping_outcome.h"
#include "install/install_parameters.h"

namespace corvane {

// Writes the parameters in force (all but entries whose key is empty or starts with
// "#", values exactly as stored, the token included: operators read it here) and the
// ping's outcome to standard output.
void PrintPingReport(const InstallParameters& parameters, const PingOutcome& outcome);

}  // namespace corvane
