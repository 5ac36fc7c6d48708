// The running executable's folder and the working directory.
#pragma once

#include <string>

namespace platform {

// The folder that holds the running executable, without a trailing separator; empty
// when the system cannot tell.
std::wstring ExecutableFolder();

// Makes path the working directory; false when that failed (the old one stays).
bool SetWorkingDirectory(const std::wstring& path);

}  // namespace platform
