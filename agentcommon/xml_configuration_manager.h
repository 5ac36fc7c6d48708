// The configuration manager that reads service descriptors written in XML.
#pragma once

#include "agentcommon/CorvaneCommon.h"

namespace Ardentis {

class XmlConfigurationManager final : public IConfigurationManager {
  public:
    void Shutdown() override;
    void ParseServiceConfig(const std::string& descriptor, ServiceConfig* config) override;
};

}  // namespace Ardentis
