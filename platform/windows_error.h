// Windows' own words for its error codes (Windows only).
#pragma once

#include <string>

namespace platform {

// The system's text for code in UTF-8, without its closing full stop, followed by the
// code: "Access is denied (error 5)". Just "error N" when the system has no text for it.
std::string WindowsErrorText(unsigned long code);

}  // namespace platform
