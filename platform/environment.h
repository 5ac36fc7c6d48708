// The process's own environment.
#pragma once

#include <string>

namespace platform {

// Sets name to value for this process and what it starts.
void SetEnvironmentValue(const std::string& name, const std::string& value);

}  // namespace platform
