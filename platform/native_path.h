// Wide paths at the library interface; UTF-8 where a library wants narrow text (log4cxx)
// and, on POSIX, in system calls.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

// Converts between the two forms: UTF-8 bytes and code points. On POSIX a byte that is
// not part of valid UTF-8 becomes U+DC80 + byte on the way in and the same byte on the
// way out, so that every path the system hands us can be handed back unchanged.
std::string ToNativePath(const std::wstring& path);
std::wstring FromNativePath(const std::string& path);

// The path as the log shows it: UTF-8, and on Windows with Windows' own separator, so
// that "C:\\Corvane" + "/config" reads C:\\Corvane\\config.
std::string DisplayPath(const std::wstring& path);

// The path for std::filesystem, which reads narrow paths in the system's code page on
// Windows, not as UTF-8.
std::filesystem::path ToFilesystemPath(const std::wstring& path);

}  // namespace platform
