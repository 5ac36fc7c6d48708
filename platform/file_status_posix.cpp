#include <sys/stat.h>

#include "platform/file_status.h"
#include "platform/native_path.h"

namespace platform {

bool PathExists(const std::wstring& path) {
    struct stat status = {};
    return stat(ToNativePath(path).c_str(), &status) != -1;
}

}  // namespace platform
