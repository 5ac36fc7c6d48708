#include <sys/stat.h>

#include <cerrno>

#include "platform/file_status.h"
#include "platform/native_path.h"

namespace platform {

bool PathExists(const std::wstring& path) {
    struct stat status = {};
    return stat(ToNativePath(path).c_str(), &status) != -1;
}

bool PathTaken(const std::wstring& path) {
    struct stat status = {};
    if (lstat(ToNativePath(path).c_str(), &status) == 0) return true;
    return errno != ENOENT && errno != ENOTDIR;
}

}  // namespace platform
