#include "platform/system_proxy.h"

namespace platform {

SystemProxy MachineProxySetting() {
    return {};  // the environment variables are the only proxy setting here
}

}  // namespace platform
