#include <stdlib.h>

#include "platform/environment.h"
#include "platform/native_path.h"

namespace platform {

void SetEnvironmentValue(const std::string& name, const std::string& value) {
    // The value is UTF-8 (a path); the narrow call would read it in the system's code page.
    _wputenv_s(FromNativePath(name).c_str(), FromNativePath(value).c_str());
}

}  // namespace platform
