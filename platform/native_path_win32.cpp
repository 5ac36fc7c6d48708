#include "platform/native_path.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

std::string ToNativePath(const std::wstring& path) {
    if (path.empty()) return {};
    const int size = static_cast<int>(path.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, path.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

std::wstring FromNativePath(const std::string& path) {
    if (path.empty()) return {};
    const int size = static_cast<int>(path.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), size, out.data(), length);
    return out;
}

std::string DisplayPath(const std::wstring& path) {
    std::string shown = ToNativePath(path);
    for (char& c : shown)
        if (c == '/') c = '\\';
    return shown;
}

std::filesystem::path ToFilesystemPath(const std::wstring& path) {
    return path;
}

}  // namespace platform
