// The library's one component factory: loads service modules and keeps their services.
#pragma once

#include <ace/DLL.h>

#include <memory>
#include <string>
#include <vector>

#include "agentcommon/CorvaneCommon.h"

namespace Ardentis {

class ComponentFactory final : public IComponentFactory {
  public:
    void LoadComponents() override;
    void AddServiceConfig(std::shared_ptr<ServiceConfig>& config) override;

    // The service registered under name, or null.
    IServiceComponent* Find(const std::string& name) const;
    // Starts every loaded service that has not been started yet.
    void StartServices();
    // Destroys every service and then unloads its module: no module code may run
    // afterwards, and modules must be closed before ACE shuts down.
    void UnloadAll();

  private:
    struct LoadedService {
        std::string name;
        std::unique_ptr<ACE_DLL> module;  // declared first: outlives its service
        std::unique_ptr<IServiceComponent> service;
        bool started = false;
    };

    void Load(const ServiceConfig& config);

    std::vector<std::shared_ptr<ServiceConfig>> pending_;
    std::vector<LoadedService> services_;
};

// The process-wide instance behind GetComponentFactory.
ComponentFactory& TheComponentFactory();

}  // namespace Ardentis
