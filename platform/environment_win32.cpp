#include <stdlib.h>

#include "platform/environment.h"

namespace platform {

void SetEnvironmentValue(const std::string& name, const std::string& value) {
    _putenv_s(name.c_str(), value.c_str());
}

}  // namespace platform
