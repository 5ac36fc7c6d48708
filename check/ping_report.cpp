#include "check/ping_report.h"

#include <cstdint>
#include <iomanip>
#include <iostream>

#include "agentcommon/CorvaneCommon.h"
#include "util/printable_text.h"

namespace corvane {

void PrintPingReport(const InstallParameters& parameters, const PingOutcome& outcome) {
    std::ostream& out = std::cout;
    out << std::endl << std::endl;
    out << "Corvane pinging with config/install_config.txt parameters:" << std::endl;
    // The file's bytes reach the terminal only as printable ASCII, like the server's text.
    for (const auto& [key, value] : parameters) {
        if (key.empty() || key[0] == '#') continue;
        out << util::PrintableAsIs(key) << " = " << util::PrintableAsIs(value) << std::endl;
    }
    out << std::endl;

    out << "Certificate file " << Ardentis::kPinnedCertificateFile
        << " existence: Before pinging: " << (outcome.certificateBefore ? "true" : "false")
        << " After pinging: " << (outcome.certificateAfter ? "true" : "false") << std::endl;

    // Both codes are shown as their 32-bit pattern, eight digits, a negative one too.
    const char previousFill = out.fill('0');
    out << "Last response code: 0x" << std::setw(8) << std::hex
        << static_cast<std::uint32_t>(outcome.lastResponseCode) << std::endl;
    out << "Last error code: 0x" << std::setw(8) << std::hex
        << static_cast<std::uint32_t>(outcome.lastErrorCode) << std::endl;
    out.fill(previousFill);

    out << "Last error message: " << outcome.lastErrorMessage << std::endl;
}

}  // namespace corvane
