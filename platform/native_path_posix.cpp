#include "platform/native_path.h"

namespace platform {
namespace {

constexpr char32_t kEscapeBase = 0xDC80;

void AppendUtf8(std::string& out, char32_t c) {
    auto byte = [&out](char32_t b) { out.push_back(static_cast<char>(b)); };
    if (c < 0x80) {
        byte(c);
    } else if (c < 0x800) {
        byte(0xC0 | (c >> 6));
        byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        byte(0xE0 | (c >> 12));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    } else {
        byte(0xF0 | (c >> 18));
        byte(0x80 | ((c >> 12) & 0x3F));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at s[i] and its code point, or 0.
std::size_t DecodeUtf8(const std::string& s, std::size_t i, char32_t& c) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t length = 0;
    if (lead < 0x80)
        length = 1;
    else if (lead >= 0xC2 && lead < 0xE0)
        length = 2;
    else if (lead >= 0xE0 && lead < 0xF0)
        length = 3;
    else if (lead >= 0xF0 && lead < 0xF5)
        length = 4;
    if (length == 0 || i + length > s.size()) return 0;
    c = static_cast<char32_t>(length == 1 ? lead : lead & (0x7F >> length));
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(s[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return 0;
    return length;
}

}  // namespace

std::string ToNativePath(const std::wstring& path) {
    std::string out;
    out.reserve(path.size());
    for (wchar_t w : path) {
        const auto c = static_cast<char32_t>(w);
        if (c >= kEscapeBase && c < kEscapeBase + 0x80)
            out.push_back(static_cast<char>(c - kEscapeBase + 0x80));
        else
            AppendUtf8(out, c);
    }
    return out;
}

std::wstring FromNativePath(const std::string& path) {
    std::wstring out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(path, i, c);
        if (length == 0) {
            out.push_back(
                static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(path[i]) - 0x80));
            ++i;
        } else {
            out.push_back(static_cast<wchar_t>(c));
            i += length;
        }
    }
    return out;
}

std::string DisplayPath(const std::wstring& path) {
    return ToNativePath(path);
}

std::filesystem::path ToFilesystemPath(const std::wstring& path) {
    return ToNativePath(path);
}

}  // namespace platform
