#include <sys/stat.h>
#include <sys/types.h>

#include "platform/file_status.h"

namespace platform {

bool PathExists(const std::wstring& path) {
    struct _stat64 status = {};
    return _wstat64(path.c_str(), &status) != -1;
}

}  // namespace platform
