#include "util/printable_text.h"

namespace util {

namespace {

std::string Escaped(std::string_view text, std::size_t limit, bool backslashes) {
    static constexpr char kHex[] = "0123456789abcdef";
    const bool cut = text.size() > limit;
    if (cut) text = text.substr(0, limit);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\' && backslashes) {
            out += "\\\\";
        } else if (IsControlByte(c) || byte > 0x7E) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    if (cut) out += "...";
    return out;
}

}  // namespace

std::string Printable(std::string_view text, std::size_t limit) {
    return Escaped(text, limit, true);
}

std::string PrintableAsIs(std::string_view text) {
    return Escaped(text, text.size(), false);
}

std::string Quoted(std::string_view text) {
    // Built by appending: GCC 12 at -O3 takes "'" + std::string&& for an overlapping copy.
    std::string quoted = "'";
    quoted += Printable(text);
    quoted += '\'';
    return quoted;
}

}  // namespace util
