#include "platform/windows_error.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/native_path.h"

namespace platform {

std::string WindowsErrorText(unsigned long code) {
    // The wide call: the narrow one gives the text in the system's code page, and the
    // log is UTF-8.
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = length ? std::wstring(text, length) : L"";
    LocalFree(text);
    // System messages end in ".\r\n"; the caller puts a sentence around it.
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' ||
                               reason.back() == L'.' || reason.back() == L' '))
        reason.pop_back();
    const std::string number = "error " + std::to_string(code);
    return reason.empty() ? number : ToNativePath(reason) + " (" + number + ")";
}

}  // namespace platform
