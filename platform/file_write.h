// Writing a file that must never be seen half-written or replace what is there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

    // Empty when the temporary file was created, otherwise why not.
    const std::string& Error() const { return error_; }

    // Writes content, flushes it to disk, then gives the file the name path only if
    // nothing has that name yet. Returns an empty string on success, otherwise why not.
    std::string Commit(std::string_view content);

  private:
    friend void DiscardPendingFileAtExit();
    void Watch();    // removed at exit until claimed
    bool Claim();    // true when this call, not the exit, owns the temporary file now
    void Discard();  // closes and removes the temporary file

    std::wstring path_;
    std::wstring temporary_;
    std::intptr_t handle_ = -1;  // a file descriptor, or a Windows HANDLE
    bool watched_ = false;
    std::string error_;
};

// Writes content to a temporary file in path's folder, flushes it to disk, then gives
// it the name path only if nothing has that name yet. Returns an empty string on
// success, otherwise why it failed; the temporary file never stays behind.
std::string WriteNewFileAtomically(const std::wstring& path, std::string_view content);

// Removes the temporary files that WriteNewFileAtomically leaves beside path when the
// process is ended while writing: regular files of its own naming pattern only, and
// none that a writer is still busy with.
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
