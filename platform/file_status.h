// File-status query.
#pragma once

#include <string>

namespace platform {

// True when the status of path can be read: a file, a folder or anything else that
// is there. False for a missing path, a path we may not look at, or a bad path.
bool PathExists(const std::wstring& path);

}  // namespace platform
