#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/file_status.h"
#include "platform/windows_error.h"

namespace platform {

bool PathExists(const std::wstring& path) {
    struct _stat64 status = {};
    return _wstat64(path.c_str(), &status) != -1;
}

bool PathTaken(const std::wstring& path) {
    // The attributes of a reparse point are its own: a link is not followed.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

namespace {

// The path the system reaches through path, links and junctions resolved, or why it
// cannot tell.
util::Expected<std::wstring> FinalPath(const std::wstring& path) {
    const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return util::Fail(WindowsErrorText(GetLastError()));
    std::wstring final(32768, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (length == 0) return util::Fail(WindowsErrorText(error));
    if (length >= final.size()) return util::Fail("its final path is too long");
    final.resize(length);
    return final;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Administrators, SYSTEM, TrustedInstaller and the run's own user: who may own and change
// a file that steers the run.
bool Trusted(PSID sid, PSID self) {
    static constexpr const wchar_t* kTrusted[] = {
        L"S-1-5-32-544", L"S-1-5-18",
        L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
    if (!sid || !IsValidSid(sid)) return false;
    if (self && EqualSid(sid, self)) return true;
    for (const wchar_t* text : kTrusted) {
        PSID known = nullptr;
        if (!ConvertStringSidToSidW(text, &known)) continue;
        const bool same = EqualSid(sid, known);
        LocalFree(known);
        if (same) return true;
    }
    return false;
}

// The run's own user, for as long as buffer lives.
PSID CurrentUser(std::vector<BYTE>& buffer) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buffer.resize(size);
    const bool read = size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    return read ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid : nullptr;
}

// Rights that change what a file says or who may change it.
constexpr ACCESS_MASK kChanging = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// Whether only trusted accounts own path and may change it, by its access list: every
// entry that allows a changing right, inherited ones included, must name one of them.
bool OnlyTrustedMayChange(const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    std::vector<BYTE> buffer;
    const PSID self = CurrentUser(buffer);
    bool trusted = dacl != nullptr && Trusted(owner, self);  // no list: everyone may
    for (DWORD i = 0; trusted && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            trusted = false;
        else if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            const auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
            if ((ace->Mask & kChanging) && !Trusted(const_cast<DWORD*>(&ace->SidStart), self))
                trusted = false;
        } else if (header->AceType != ACCESS_DENIED_ACE_TYPE) {
            trusted = false;  // an entry of a kind not read here
        }
    }
    LocalFree(descriptor);
    return trusted;
}

// A regular file in place of path, or none, that no link or junction redirects.
bool UsableLogFile(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash);
    const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES ||
        !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (folderAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND;
    }
    if (attributes &
        (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        return false;
    // A link resolves to another folder or name.
    const util::Expected<std::wstring> final = FinalPath(path);
    const util::Expected<std::wstring> folderFinal = FinalPath(folder);
    return final && folderFinal && SameText(*final, *folderFinal + L"\\" + path.substr(slash + 1));
}

}  // namespace

bool PrepareLogFile(const std::wstring& path) {
    return UsableLogFile(path);
}

bool OnlyOwnerMayChange(const std::wstring& path) {
    // A regular file in place (no link, as UsableLogFile reads it) that only trusted
    // accounts own and may change.
    return PathExists(path) && UsableLogFile(path) && OnlyTrustedMayChange(path);
}

bool HeldOpenAsRegularFile(const std::wstring& path) {
    return PathExists(path) && UsableLogFile(path);
}

util::Expected<std::string> OwnerName(const std::wstring&) {
    return util::Fail("administrators may remove it, whoever owns it");
}

}  // namespace platform
