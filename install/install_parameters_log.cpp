#include <log4cxx/logger.h>

#include "install/install_parameters.h"
#include "platform/native_path.h"

namespace corvane {

void LogUnreadableInstallParameters(const std::wstring& path, const std::string& reason) {
    LOG4CXX_ERROR(log4cxx::Logger::getLogger("CorvanePing.InstallParameters"),
                  "Cannot read " << platform::DisplayPath(path) << ": " << reason);
}

}  // namespace corvane
