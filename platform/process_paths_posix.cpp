#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <string>

#include "platform/native_path.h"
#include "platform/process_paths.h"

namespace platform {

util::Expected<std::wstring> ExecutableFolder() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return util::Fail(std::strerror(errno));
    if (length == 0 || static_cast<std::size_t>(length) >= path.size())
        return util::Fail("the path of the executable is longer than 4095 bytes");
    path.resize(static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    path.resize(slash == 0 ? 1 : slash);
    return FromNativePath(path);
}

util::Expected<void> SetWorkingDirectory(const std::wstring& path) {
    if (chdir(ToNativePath(path).c_str()) != 0) return util::Fail(std::strerror(errno));
    return {};
}

}  // namespace platform
