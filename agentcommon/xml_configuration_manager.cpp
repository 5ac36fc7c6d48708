#include "agentcommon/xml_configuration_manager.h"

#include <log4cxx/logger.h>

#include <pugixml.hpp>

#include "agentcommon/component_factory.h"

namespace Ardentis {
namespace {

log4cxx::LoggerPtr Log() {
    return log4cxx::Logger::getLogger("Ardentis.XMLConfigurationManager");
}

}  // namespace

void XmlConfigurationManager::ParseServiceConfig(const std::string& descriptor,
                                                 ServiceConfig* config) {
    if (!config) return;
    *config = ServiceConfig();

    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(descriptor.data(), descriptor.size());
    if (!parsed) {
        LOG4CXX_ERROR(Log(), "Service descriptor is not valid XML: "
                                 << parsed.description() << " at offset " << parsed.offset);
        return;
    }
    const pugi::xml_node service = document.child("Service");
    if (!service) {
        LOG4CXX_ERROR(Log(), "Service descriptor has no <Service> element");
        return;
    }
    for (const char* required : {"name", "module", "type", "classification"}) {
        if (service.attribute(required).empty()) {
            LOG4CXX_ERROR(Log(), "Service descriptor lacks the attribute '" << required << "'");
            return;
        }
    }
    config->name = service.attribute("name").value();
    config->module = service.attribute("module").value();
    config->type = service.attribute("type").value();
    config->classification = service.attribute("classification").value();
    for (const pugi::xml_node setting : service.child("Environment").children()) {
        if (setting.type() == pugi::node_element)
            config->environment.push_back({setting.name(), setting.text().get()});
    }
    config->usable = true;
    LOG4CXX_DEBUG(Log(),
                  "Parsed service '" << config->name << "' of module '" << config->module << "'");
}

void XmlConfigurationManager::Shutdown() {
    TheComponentFactory().UnloadAll();
    LOG4CXX_DEBUG(Log(), "Configuration manager shut down");
}

}  // namespace Ardentis
