// Writing a file that must never be seen half-written or replace what is there.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Writes content to a temporary file in path's folder, flushes it to disk, then gives
// it the name path only if nothing has that name yet. Returns an empty string on
// success, otherwise why it failed; the temporary file never stays behind.
std::string WriteNewFileAtomically(const std::wstring& path, std::string_view content);

}  // namespace platform
