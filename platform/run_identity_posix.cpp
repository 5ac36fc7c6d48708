#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/native_path.h"
#include "platform/run_identity.h"

namespace platform {

util::Expected<void> GiveUpRootForOwnerOf(const std::wstring& folder) {
    if (geteuid() != 0 && getuid() != 0) return {};
    struct stat status = {};
    // A missing folder is made by this run; one that root owns is root's installation.
    if (stat(ToNativePath(folder).c_str(), &status) != 0 || status.st_uid == 0) return {};
    // The group list first: it needs root, and it must not keep root's groups.
    if (setgroups(1, &status.st_gid) != 0 || setgid(status.st_gid) != 0 ||
        setuid(status.st_uid) != 0)
        return util::Fail(std::strerror(errno));
    if (setuid(0) == 0 || geteuid() == 0) return util::Fail("root's rights came back");
    return {};
}

}  // namespace platform
