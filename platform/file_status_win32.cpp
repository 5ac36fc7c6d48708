#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include "platform/file_status.h"

namespace platform {

bool PathExists(const std::wstring& path) {
    struct _stat64 status = {};
    return _wstat64(path.c_str(), &status) != -1;
}

bool PathTaken(const std::wstring& path) {
    // The attributes of a reparse point are its own: a link is not followed.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool OnlyOwnerMayChange(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

bool HeldOpenAsRegularFile(const std::wstring&) {
    return true;
}

std::string OwnerName(const std::wstring&) {
    return {};  // administrators may remove it, whoever owns it
}

}  // namespace platform
