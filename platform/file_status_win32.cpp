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

namespace {

// The path the system reaches through handle, links and junctions resolved; empty when
// it cannot tell.
std::wstring FinalPath(const std::wstring& path) {
    const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::wstring final(32768, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    CloseHandle(handle);
    if (length == 0 || length >= final.size()) return {};
    final.resize(length);
    return final;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool UsableLogFile(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash);
    const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES ||
        !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (folderAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND;
    }
    if (attributes &
        (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        return false;
    // A link resolves to another folder or name.
    const std::wstring final = FinalPath(path);
    const std::wstring folderFinal = FinalPath(folder);
    return !final.empty() && !folderFinal.empty() &&
           SameText(final, folderFinal + L"\\" + path.substr(slash + 1));
}

bool HeldOpenAsRegularFile(const std::wstring& path) {
    return PathExists(path) && UsableLogFile(path);
}

std::string OwnerName(const std::wstring&) {
    return {};  // administrators may remove it, whoever owns it
}

}  // namespace platform
