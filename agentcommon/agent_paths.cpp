#include <utility>

#include "agentcommon/CorvaneCommon.h"
#include "platform/process_paths.h"

namespace Ardentis {
namespace {

#if defined(_WIN32)
constexpr wchar_t kSeparators[] = L"/\\";
#else
constexpr wchar_t kSeparators[] = L"/";  // a backslash is part of a POSIX file name
#endif

// The installation root is the parent of the bin folder.
std::wstring RootPath() {
    const std::wstring bin = GetBinPath();
    const std::size_t slash = bin.find_last_of(kSeparators);
    if (slash == std::wstring::npos) return bin + L"/..";
    return slash == 0 ? std::wstring(L"/") : bin.substr(0, slash);
}

}  // namespace

std::wstring GetBinPath() {
    util::Expected<std::wstring> folder = platform::ExecutableFolder();
    return folder ? std::move(*folder) : L".";
}

std::wstring GetLogPath() {
    return RootPath() + L"/log";
}

std::wstring GetConfigPath() {
    return RootPath() + L"/config";
}

}  // namespace Ardentis
