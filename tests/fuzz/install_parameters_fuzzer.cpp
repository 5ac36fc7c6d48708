// Feeds arbitrary file contents to the installation parameter parser the way the loader
// does, and checks what any parse must satisfy.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "install/install_parameters.h"

namespace {

void Require(bool holds) {
    if (!holds) __builtin_trap();
}

bool IsClassicSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool Contains(std::string_view text, char c) {
    return text.find(c) != std::string_view::npos;
}

// Unsigned byte order, as the table promises.
bool ByteLess(const std::string& left, const std::string& right) {
    const int order = std::memcmp(left.data(), right.data(), std::min(left.size(), right.size()));
    return order != 0 ? order < 0 : left.size() < right.size();
}

// Lines (cut at line feeds) that hold an "=": each gives exactly one entry.
std::size_t LinesWithEquals(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (Contains(text.substr(start, end - start), '=')) ++count;
        start = end + 1;
    }
    return count;
}

void CheckTable(std::string_view text, const corvane::InstallParameters& table) {
    text = text.substr(0, text.find('\0'));
    Require(table.size() == LinesWithEquals(text));

    std::size_t bytesTaken = 0;
    for (const auto& [key, value] : table) {
        Require(key.empty() || (!IsClassicSpace(key.front()) && !IsClassicSpace(key.back())));
        Require(!Contains(key, '=') && !Contains(key, '\n') && !Contains(key, '\0'));
        Require(!Contains(value, '\n') && !Contains(value, '\0'));
        Require(value.empty() || (value.front() != '\r' && value.back() != '\r'));
        Require(text.find(key) != std::string_view::npos);
        Require(text.find(value) != std::string_view::npos);
        // Every entry comes from a line of its own: key, "=" and value use distinct bytes.
        bytesTaken += key.size() + 1 + value.size();
    }
    Require(bytesTaken <= text.size());

    const auto byKey = [](const auto& left, const auto& right) {
        return ByteLess(left.first, right.first);
    };
    Require(std::is_sorted(table.begin(), table.end(), byKey));

    // Written back as key=value lines, the table reads in again unchanged: keys and values
    // keep no byte that the parser would trim or split at.
    std::string written;
    for (const auto& [key, value] : table) written += key + "=" + value + "\n";
    corvane::InstallParameters reread;
    corvane::ParseInstallParameters(written, reread);
    Require(reread == table);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // As the loader does: a zeroed buffer of the window's size holding the file's first
    // bytes. The part after the bytes "read" is poisoned, so any look past the view the
    // parser is given, even within the buffer, is reported.
    constexpr std::size_t window = corvane::kInstallParameterWindow;
    const std::size_t count = std::min(size, window);
    const std::unique_ptr<char[]> buffer(new char[window]());
    if (count > 0) std::memcpy(buffer.get(), data, count);
    ASAN_POISON_MEMORY_REGION(buffer.get() + count, window - count);

    const std::string_view text(buffer.get(), count);
    corvane::InstallParameters table;
    corvane::ParseInstallParameters(text, table);
    CheckTable(text, table);

    ASAN_UNPOISON_MEMORY_REGION(buffer.get() + count, window - count);
    return 0;
}
