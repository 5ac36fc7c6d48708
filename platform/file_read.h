// Reading the start of a small file that another program maintains.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "util/expected.h"

namespace platform {

// Opens path for reading only (never creating it), reads once into buffer and closes
// it again before returning. Returns the number of bytes read, or, when the file cannot
// be opened (missing, no access, not a regular file, or held open for writing by another
// process), why, in words (on Windows the system's, in UTF-8). Never blocks on a FIFO or
// device.
util::Expected<std::size_t> ReadFileStart(const std::wstring& path, std::span<char> buffer);

}  // namespace platform
