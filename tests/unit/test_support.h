// Scoped helpers shared by the unit tests: scratch folders and captured console output.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <ios>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace corvane::test {

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "corvane-unit-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Writes bytes to path exactly as given (binary, no line-end translation).
inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

// Sends everything written to stream into a string while the object lives, then puts
// the stream's buffer and its formatting state (flags, fill, width) back.
class CaptureStream {
  public:
    explicit CaptureStream(std::ostream& stream)
        : stream_(stream),
          flags_(stream.flags()),
          fill_(stream.fill()),
          width_(stream.width()),
          previous_(stream.rdbuf(captured_.rdbuf())) {}
    ~CaptureStream() {
        stream_.rdbuf(previous_);
        stream_.flags(flags_);
        stream_.fill(fill_);
        stream_.width(width_);
    }
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    std::string Text() const { return captured_.str(); }

  private:
    std::ostream& stream_;
    std::ios::fmtflags flags_;
    char fill_;
    std::streamsize width_;
    std::ostringstream captured_;
    std::streambuf* previous_;
};

}  // namespace corvane::test
