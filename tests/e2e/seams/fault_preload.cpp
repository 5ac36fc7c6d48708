// Preloaded in front of the program in tests (LD_PRELOAD) and fails as the system or the
// agent's library could, the way CORVANE_TEST_FAULT says; anything else passes through:
//   signal-at-entry           SIGTERM arrives in the run's first library call, ACE::init
//   no-configuration-manager  ClientConfigurationHelper::Initialize returns null
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "agentcommon/CorvaneCommon.h"

namespace ACE {
__attribute__((visibility("default"))) int init();
}

namespace {

bool Fault(const char* name) {
    const char* fault = std::getenv("CORVANE_TEST_FAULT");
    return fault && std::strcmp(fault, name) == 0;
}

// The definition that this library hides, found by its mangled name.
template <class Function>
Function Next(const char* symbol) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, symbol));
}

}  // namespace

int ACE::init() {
    if (Fault("signal-at-entry")) {
        kill(getpid(), SIGTERM);
        for (;;) pause();  // only the program's handler ends the run from here
    }
    return Next<int (*)()>("_ZN3ACE4initEv")();
}

Ardentis::IConfigurationManager* Ardentis::ClientConfigurationHelper::Initialize(
    const std::string& managerName) {
    if (Fault("no-configuration-manager")) return nullptr;
    using Initializer = IConfigurationManager* (*)(ClientConfigurationHelper*, const std::string&);
    return Next<Initializer>(
        "_ZN8Ardentis25ClientConfigurationHelper10InitializeERKNSt7__cxx1112basic_stringIcSt11char_"
        "traitsIcESaIcEEE")(this, managerName);
}
