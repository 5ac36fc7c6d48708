#include "platform/file_read.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/native_path.h"

namespace platform {
namespace {

// Other readers are welcome, writers are not: a read lease cannot be taken while any
// process has the file open for writing. Where leases are not available to us (a file
// we do not own, a file system without them) the file is read as it is. A writer that
// opens the file while we hold the lease breaks it, and the kernel tells us with SIGIO,
// whose default action ends the process: it is ignored for the probe.
bool OpenForWritingElsewhere(int fd) {
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous = {};
    sigaction(SIGIO, &ignore, &previous);
    bool writing = false;
    if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
        fcntl(fd, F_SETLEASE, F_UNLCK);
    else
        writing = errno == EAGAIN;
    sigaction(SIGIO, &previous, nullptr);
    return writing;
}

}  // namespace

util::Expected<std::size_t> ReadFileStart(const std::wstring& path, std::span<char> buffer) {
    const int fd = open(ToNativePath(path).c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return util::Fail(std::strerror(errno));

    struct stat status = {};
    const char* refused = nullptr;
    if (fstat(fd, &status) != 0)
        refused = "its status cannot be read";
    else if (!S_ISREG(status.st_mode))
        refused = "not a regular file";
    else if (OpenForWritingElsewhere(fd))
        refused = "another process has it open for writing";
    if (refused) {
        close(fd);
        return util::Fail(refused);
    }
    const ssize_t count = read(fd, buffer.data(), buffer.size());
    close(fd);
    return count > 0 ? static_cast<std::size_t>(count) : std::size_t{0};
}

}  // namespace platform
