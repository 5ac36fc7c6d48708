// Out-of-line members of the library's small types, so that their vtables and
// destructors live in the library.
#include "agentcommon/CorvaneCommon.h"

namespace Ardentis {

ServiceConfig::ServiceConfig() = default;
ServiceConfig::~ServiceConfig() = default;

IServiceComponent::~IServiceComponent() = default;
IConnection::~IConnection() = default;

std::string IConnectionFactory::GetServiceName() {
    return "ConnectionFactory";
}

}  // namespace Ardentis
