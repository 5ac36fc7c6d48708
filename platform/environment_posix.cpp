#include <stdlib.h>

#include "platform/environment.h"

namespace platform {

void SetEnvironmentValue(const std::string& name, const std::string& value) {
    setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace platform
