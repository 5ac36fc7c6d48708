// Writing a file that must never be seen half-written or replace what is there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/expected.h"

namespace platform {

// A file written under a temporary name beside path and given path's name only once it
// is complete and on disk. The temporary file is created at once, so that the caller
// learns whether the folder takes the file before it does what the file must record.
// Until Commit the temporary file is removed when the object goes, and also when the
// process exits meanwhile (a console event). One NewFile at a time is watched so.
class NewFile {
  public:
    explicit NewFile(const std::wstring& path);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Whether the temporary file was created; the error says why not, in words.
    const util::Expected<void>& Created() const { return created_; }

    // Writes content, flushes it to disk, then gives the file the name path only if
    // nothing has that name yet; otherwise the error says why not, in words.
    util::Expected<void> Commit(std::string_view content);

  private:
    friend void DiscardPendingFileAtExit();
    void Watch();    // removed at exit until claimed
    bool Claim();    // true when this call, not the exit, owns the temporary file now
    void Discard();  // closes and removes the temporary file

    std::wstring path_;
    std::wstring temporary_;
    std::intptr_t handle_ = -1;  // a file descriptor, or a Windows HANDLE
    bool watched_ = false;
    util::Expected<void> created_;
};

// Removes the temporary files that a NewFile for path leaves beside it when the process
// is ended in a way that runs no exit handler (killed): regular files of its own naming
// pattern only, and none that a writer is still busy with.
void RemoveInterruptedWrites(const std::wstring& path);

// Files and folders that the process creates from now on give others no access; owner
// and group get what they ask for (umask 007). On Windows they inherit their folder's
// access list, and this does nothing.
void KeepNewFilesFromOthers();

#ifdef _WIN32
// Gives the file from the name to, never replacing a file of that name. A file that
// another process holds open for a moment (a scanner reading what was just written) is
// tried again for about half a second. Returns 0 or the Windows error code of the last
// attempt.
unsigned long RenameNotReplacing(const std::wstring& from, const std::wstring& to);
#endif

}  // namespace platform
