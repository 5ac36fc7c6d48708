#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/file_write.h"
#include "platform/native_path.h"

namespace platform {
namespace {

std::string Failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// mkostemp's names: the target's name, a dot and six letters or digits.
bool IsTemporaryName(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) return false;
    for (const char c : name.substr(prefix.size()))
        if (!(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z') && !(c >= 'a' && c <= 'z'))
            return false;
    return true;
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

NewFile::NewFile(const std::wstring& path) : path_(path) {
    std::string temporary = ToNativePath(path) + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        created_ = util::Fail(Failure("cannot create a temporary file beside it"));
        return;
    }
    // Held until the file has its name: RemoveInterruptedWrites leaves it alone.
    flock(fd, LOCK_EX);
    handle_ = fd;
    temporary_ = FromNativePath(temporary);
    Watch();
}

void NewFile::Discard() {
    if (handle_ < 0) return;
    unlink(ToNativePath(temporary_).c_str());
    close(static_cast<int>(handle_));
    handle_ = -1;
}

util::Expected<void> NewFile::Commit(std::string_view content) {
    if (handle_ < 0) {
        if (!created_) return created_;
        return util::Fail("it was written already");
    }
    if (!Claim()) return util::Fail("the run is ending");
    const int fd = static_cast<int>(handle_);
    std::string error;
    // Group-readable for the other members who run the check; nothing for others.
    if (fchmod(fd, 0640) != 0 || !WriteAll(fd, content) || fsync(fd) != 0)
        error = Failure("cannot write it");
    // link() refuses an existing name, so a file that appeared meanwhile is kept.
    if (error.empty() && link(ToNativePath(temporary_).c_str(), ToNativePath(path_).c_str()) != 0)
        error = errno == EEXIST ? "another file of that name appeared meanwhile and was kept"
                                : Failure("cannot give it its name");
    Discard();  // the temporary name goes either way
    if (!error.empty()) return util::Fail(std::move(error));
    return {};
}

void RemoveInterruptedWrites(const std::wstring& path) {
    const std::filesystem::path target = ToNativePath(path);
    const std::string prefix = target.filename().string() + ".";
    std::error_code error;
    for (std::filesystem::directory_iterator entry(target.parent_path(), error), end;
         !error && entry != end; entry.increment(error)) {
        if (!IsTemporaryName(entry->path().filename().string(), prefix)) continue;
        const int fd = open(entry->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat status = {};
        if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlink(entry->path().c_str());
        close(fd);
    }
}

void KeepNewFilesFromOthers() {
    umask(S_IRWXO);
}

}  // namespace platform
