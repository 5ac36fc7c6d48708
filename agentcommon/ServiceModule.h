// What a module of the agent's common library exports. The component factory loads
// lib<module>.so (<module>.dll on Windows) from the bin folder, resolves this one C
// symbol and calls it once for every service record that names the module.
#pragma once

#include "agentcommon/CorvaneCommon.h"

#define CORVANE_SERVICE_FACTORY_SYMBOL "CorvaneCreateService"

#if defined(_WIN32)
#define CORVANE_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define CORVANE_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

extern "C" {
// Returns a new service for config, owned by the caller, or null when the module
// provides nothing of that kind.
using CorvaneCreateServiceFn =
    Ardentis::IServiceComponent* (*)(const Ardentis::ServiceConfig& config);
}
