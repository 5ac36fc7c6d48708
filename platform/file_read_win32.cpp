#include "platform/file_read.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/windows_error.h"

namespace platform {

util::Expected<std::size_t> ReadFileStart(const std::wstring& path, std::span<char> buffer) {
    // Other readers are welcome, writers are not: without FILE_SHARE_WRITE the open fails
    // while another handle to the file has write access. OPEN_EXISTING never creates it.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // Sharing violation (another process writes it), access denied, not found, ...
    if (file == INVALID_HANDLE_VALUE) return util::Fail(WindowsErrorText(GetLastError()));

    // A named pipe or a device under that name could block the read forever.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return util::Fail("not a file on disk but a device or a pipe");
    }
    const DWORD request = buffer.size() < MAXDWORD ? static_cast<DWORD>(buffer.size()) : MAXDWORD;
    DWORD count = 0;  // ReadFile leaves it 0 when the read fails
    ReadFile(file, buffer.data(), request, &count, nullptr);
    CloseHandle(file);
    return static_cast<std::size_t>(count);
}

}  // namespace platform
