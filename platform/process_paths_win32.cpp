#include "platform/process_paths.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {
namespace {

// Long paths may reach 32767 characters; a buffer beyond that cannot be needed.
constexpr std::size_t kLongestPath = 32768;

}  // namespace

std::wstring ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        // A result that fills the whole buffer was cut short.
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= kLongestPath) return {};
        path.resize(path.size() * 2);
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return {};
    path.resize(separator);
    return path;
}

bool SetWorkingDirectory(const std::wstring& path) {
    return SetCurrentDirectoryW(path.c_str()) != 0;
}

}  // namespace platform
