#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

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

bool PrepareLogFile(const std::wstring& path) {
    const std::string name = ToNativePath(path);
    struct stat status = {};
    if (lstat(name.c_str(), &status) == 0) return S_ISREG(status.st_mode);
    if (errno != ENOENT) return false;
    const int made = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (made != -1) {
        close(made);
        return true;
    }
    // Planted in between: judged as any file there. A missing or closed folder leaves the
    // name free, and the library's own open fails as well.
    if (errno == EEXIST) return lstat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    return true;
}

bool HeldOpenAsRegularFile(const std::wstring& path) {
    struct stat named = {};
    if (lstat(ToNativePath(path).c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return false;
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end;
         !error && entry != end; entry.increment(error)) {
        struct stat held = {};
        if (stat(entry->path().c_str(), &held) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return true;
    }
    return false;
}

util::Expected<std::string> OwnerName(const std::wstring& path) {
    struct stat status = {};
    if (lstat(ToNativePath(path).c_str(), &status) != 0) return util::Fail(std::strerror(errno));
    std::vector<char> buffer(16 * 1024);
    struct passwd entry = {};
    struct passwd* found = nullptr;
    if (getpwuid_r(status.st_uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::to_string(status.st_uid);
    return std::string(found->pw_name);
}

}  // namespace platform
