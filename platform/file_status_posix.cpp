#include <sys/stat.h>
#include <unistd.h>

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

bool OnlyOwnerMayChange(const std::wstring& path) {
    struct stat status = {};
    return lstat(ToNativePath(path).c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           (status.st_uid == 0 || status.st_uid == geteuid()) &&
           (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace platform
