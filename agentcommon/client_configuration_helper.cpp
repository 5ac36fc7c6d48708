#include <log4cxx/logger.h>

#include "agentcommon/CorvaneCommon.h"
#include "agentcommon/component_factory.h"
#include "agentcommon/xml_configuration_manager.h"

namespace Ardentis {
namespace {

log4cxx::LoggerPtr Log() {
    return log4cxx::Logger::getLogger("Ardentis.ClientConfiguration");
}

}  // namespace

ClientConfigurationHelper::ClientConfigurationHelper(bool standalone) : standalone_(standalone) {}

ClientConfigurationHelper::~ClientConfigurationHelper() = default;

IConfigurationManager* ClientConfigurationHelper::Initialize(const std::string& managerName) {
    static XmlConfigurationManager xmlManager;
    if (managerName == "XMLConfigurationManager") return &xmlManager;
    LOG4CXX_ERROR(Log(), "Unknown configuration manager '" << managerName << "'");
    return nullptr;
}

void ClientConfigurationHelper::Run() {
    if (standalone_) {
        LOG4CXX_INFO(Log(), "Stand-alone mode: no services started");
        return;
    }
    TheComponentFactory().StartServices();
}

}  // namespace Ardentis
