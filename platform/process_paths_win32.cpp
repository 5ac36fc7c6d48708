#include "platform/process_paths.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/windows_error.h"

namespace platform {
namespace {

// Long paths may reach 32767 characters; a buffer beyond that cannot be needed.
constexpr std::size_t kLongestPath = 32768;

}  // namespace

util::Expected<std::wstring> ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return util::Fail(WindowsErrorText(GetLastError()));
        // A result that fills the whole buffer was cut short.
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= kLongestPath)
            return util::Fail("the path of the executable is too long");
        path.resize(path.size() * 2);
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return util::Fail("the path of the executable has no folder");
    path.resize(separator);
    return path;
}

util::Expected<void> SetWorkingDirectory(const std::wstring& path) {
    if (!SetCurrentDirectoryW(path.c_str())) return util::Fail(WindowsErrorText(GetLastError()));
    return {};
}

}  // namespace platform
