#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/file_write.h"
#include "platform/native_path.h"

namespace platform {
namespace {

std::string Failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

std::string WriteNewFileAtomically(const std::wstring& path, std::string_view content) {
    const std::string target = ToNativePath(path);
    std::string temporary = target + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return Failure("cannot create a temporary file beside it");

    std::string error;
    if (fchmod(fd, 0644) != 0 || !WriteAll(fd, content) || fsync(fd) != 0)
        error = Failure("cannot write it");
    if (close(fd) != 0 && error.empty()) error = Failure("cannot write it");
    // link() refuses an existing name, so a file that appeared meanwhile is kept.
    if (error.empty() && link(temporary.c_str(), target.c_str()) != 0)
        error = errno == EEXIST ? "another file of that name appeared meanwhile and was kept"
                                : Failure("cannot give it its name");
    unlink(temporary.c_str());
    return error;
}

void KeepNewFilesFromOthers() {
    umask(S_IRWXO);
}

}  // namespace platform
