// Writing a file that must never be seen half-written or replace what is there.
#pragma once

#include <string>
#include <string_view>

namespace platform {

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

}  // namespace platform
