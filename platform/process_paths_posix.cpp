#include <unistd.h>

#include <string>

#include "platform/native_path.h"
#include "platform/process_paths.h"

namespace platform {

std::wstring ExecutableFolder() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    path.resize(slash == 0 ? 1 : slash);
    return FromNativePath(path);
}

bool SetWorkingDirectory(const std::wstring& path) {
    return chdir(ToNativePath(path).c_str()) == 0;
}

}  // namespace platform
