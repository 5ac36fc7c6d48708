// Text from outside the program (a reason phrase or a certificate's names that the
// configuration server chose, a key of install_config.txt) made safe for the console and
// the log.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace util {

// Longest piece of outside text that reaches the report or the log.
constexpr std::size_t kLongestShownText = 160;

// Below 0x20, and 0x7F: what a terminal may act upon.
constexpr bool IsControlByte(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// text with every byte outside printable ASCII (0x20 to 0x7E) written as \xHH and the
// backslash as \\, cut after limit bytes of the input with "..." to show it. Bytes from
// 0x80 on are escaped too: terminals that honour C1 controls act on 0x9B (CSI) alone and
// on its UTF-8 form C2 9B.
std::string Printable(std::string_view text, std::size_t limit = kLongestShownText);

// text with every byte outside printable ASCII written as \xHH, and printable ASCII, the
// backslash included, as it is, nothing cut: for values and paths a reader may copy, which
// show as they are unless they hold such a byte.
std::string PrintableAsIs(std::string_view text);

// Text that Printable or PrintableAsIs made, or that the program wrote itself from such
// pieces: safe to show as it is. A field of this type was cleaned where the text was
// captured, and is never escaped again.
using PrintableText = std::string;

// Printable(text) between single quotes.
std::string Quoted(std::string_view text);

}  // namespace util
