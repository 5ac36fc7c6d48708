// The running executable's folder and the working directory.
#pragma once

#include <string>

#include "util/expected.h"

namespace platform {

// The folder that holds the running executable, without a trailing separator, or why the
// system cannot tell.
util::Expected<std::wstring> ExecutableFolder();

// Makes path the working directory, or says why not (the system's words; the old one
// stays).
util::Expected<void> SetWorkingDirectory(const std::wstring& path);

}  // namespace platform
