#include "agentcommon/component_factory.h"

#include <log4cxx/logger.h>

#include "agentcommon/ServiceModule.h"
#include "platform/native_path.h"

namespace Ardentis {
namespace {

log4cxx::LoggerPtr Log() {
    return log4cxx::Logger::getLogger("Ardentis.ComponentFactory");
}

std::string ModulePath(const std::string& module) {
#if defined(_WIN32)
    // The full path, in Windows form: LoadLibrary takes a path with backslashes only, and
    // searches no folder for a full one.
    return platform::ToNativePath(GetBinPath()) + "\\" + module + ".dll";
#else
    return platform::ToNativePath(GetBinPath()) + "/lib" + module + ".so";
#endif
}

// ACE_DLL takes ACE_TCHAR names, which are wide on Windows (ACE_USES_WCHAR); LoadLibrary
// has no binding modes.
#if defined(_WIN32)
std::wstring ModuleFileName(const std::string& path) {
    return platform::FromNativePath(path);
}
constexpr int kModuleOpenMode = 0;
#else
const std::string& ModuleFileName(const std::string& path) {
    return path;
}
constexpr int kModuleOpenMode = RTLD_LAZY | RTLD_LOCAL;
#endif

}  // namespace

void ComponentFactory::AddServiceConfig(std::shared_ptr<ServiceConfig>& config) {
    if (config) pending_.push_back(config);
}

void ComponentFactory::LoadComponents() {
    auto pending = std::move(pending_);
    pending_.clear();
    for (const auto& config : pending) {
        if (!config->usable) {
            LOG4CXX_ERROR(Log(), "Skipping service '" << config->name
                                                      << "': its descriptor could not be parsed");
            continue;
        }
        Load(*config);
    }
}

void ComponentFactory::Load(const ServiceConfig& config) {
    if (config.type != "Service") {
        LOG4CXX_ERROR(Log(), "Skipping service '" << config.name << "': type '" << config.type
                                                  << "' is not a service");
        return;
    }
    if (Find(config.name)) {
        LOG4CXX_ERROR(Log(), "Skipping service '" << config.name << "': already registered");
        return;
    }
    const std::string path = ModulePath(config.module);
    auto module = std::make_unique<ACE_DLL>();
    // Lazy binding: the system libraries a module pulls in (libcurl's thirty) resolve only
    // the functions the run calls. Binding them all took 1800 more symbol lookups and
    // 0.7 ms of a 36 ms ping (bench/README.md). Modules are linked with -z now, so one
    // that lacks a symbol of this library still fails to load here, with the reason logged.
    if (module->open(ModuleFileName(path).c_str(), kModuleOpenMode) != 0) {
        LOG4CXX_ERROR(Log(), "Cannot load module "
                                 << path << " for service '" << config.name
                                 << "': " << ACE_TEXT_ALWAYS_CHAR(module->error()));
        return;
    }
    auto create = reinterpret_cast<CorvaneCreateServiceFn>(
        module->symbol(ACE_TEXT(CORVANE_SERVICE_FACTORY_SYMBOL)));
    if (!create) {
        LOG4CXX_ERROR(Log(), "Module " << path << " has no " << CORVANE_SERVICE_FACTORY_SYMBOL
                                       << ": " << ACE_TEXT_ALWAYS_CHAR(module->error()));
        return;
    }
    std::unique_ptr<IServiceComponent> service(create(config));
    if (!service) {
        LOG4CXX_ERROR(Log(), "Module " << path << " provides no service '" << config.name << "'");
        return;
    }
    LOG4CXX_INFO(Log(), "Loaded service '" << config.name << "' from " << path);
    services_.push_back({config.name, std::move(module), std::move(service)});
}

IServiceComponent* ComponentFactory::Find(const std::string& name) const {
    for (const auto& loaded : services_)
        if (loaded.name == name) return loaded.service.get();
    return nullptr;
}

void ComponentFactory::StartServices() {
    for (auto& loaded : services_) {
        if (loaded.started) continue;
        loaded.service->Start();
        loaded.started = true;
        LOG4CXX_DEBUG(Log(), "Started service '" << loaded.name << "'");
    }
}

void ComponentFactory::UnloadAll() {
    while (!services_.empty()) {
        LOG4CXX_DEBUG(Log(), "Unloading service '" << services_.back().name << "'");
        services_.pop_back();
    }
}

ComponentFactory& TheComponentFactory() {
    static auto* factory = new ComponentFactory;  // never deleted: outlives every caller
    return *factory;
}

IComponentFactory* GetComponentFactory() {
    return &TheComponentFactory();
}

IServiceComponent* _getService(std::string name) {
    return TheComponentFactory().Find(name);
}

}  // namespace Ardentis
