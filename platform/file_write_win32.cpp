#include "platform/file_write.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string_view>
#include <utility>

#include "platform/windows_error.h"

namespace platform {
namespace {

// Attempts at a free temporary name; each one fails only when that name is taken.
constexpr int kTemporaryNameAttempts = 100;

// An antivirus scanner or the indexer often opens a file that has just been written, for
// a moment; the rename is tried again for up to about half a second.
constexpr int kRenameAttempts = 10;
constexpr DWORD kRenamePauseMs = 50;

std::string Failure(const char* what, DWORD code) {
    return std::string(what) + ": " + WindowsErrorText(code);
}

// The temporary names below: the target's name, a dot, digits, a dash, digits, ".tmp".
bool IsTemporaryName(std::wstring_view name, std::wstring_view prefix) {
    constexpr std::wstring_view suffix = L".tmp";
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(suffix))
        return false;
    name = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const auto digits = [](std::wstring_view part) {
        return !part.empty() && part.find_first_not_of(L"0123456789") == std::wstring_view::npos;
    };
    const std::size_t dash = name.find(L'-');
    return dash != std::wstring_view::npos && digits(name.substr(0, dash)) &&
           digits(name.substr(dash + 1));
}

bool WriteAll(HANDLE file, std::string_view content) {
    while (!content.empty()) {
        const DWORD request =
            content.size() < MAXDWORD ? static_cast<DWORD>(content.size()) : MAXDWORD;
        DWORD written = 0;
        if (!WriteFile(file, content.data(), request, &written, nullptr) || written == 0)
            return false;
        content.remove_prefix(written);
    }
    return true;
}

}  // namespace

NewFile::NewFile(const std::wstring& path) : path_(path) {
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporary_ = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                     std::to_wstring(attempt) + L".tmp";
        // No sharing: RemoveInterruptedWrites cannot delete it while it is open.
        file = CreateFileW(temporary_.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        created_ = util::Fail(Failure("cannot create a temporary file beside it", GetLastError()));
        return;
    }
    // The system removes the file when its handle closes until Commit takes the mark back:
    // also when a console event ends the process before the exit handlers of the DLLs
    // (Watch's among them) have run.
    FILE_DISPOSITION_INFO remove = {TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove);
    handle_ = reinterpret_cast<std::intptr_t>(file);
    Watch();
}

void NewFile::Discard() {
    if (handle_ == -1) return;
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
    DeleteFileW(temporary_.c_str());
}

util::Expected<void> NewFile::Commit(std::string_view content) {
    if (handle_ == -1) {
        if (!created_) return created_;
        return util::Fail("it was written already");
    }
    if (!Claim()) return util::Fail("the run is ending");
    const auto file = reinterpret_cast<HANDLE>(handle_);
    handle_ = -1;
    std::string error;
    FILE_DISPOSITION_INFO keep = {FALSE};
    if (!WriteAll(file, content) || !FlushFileBuffers(file) ||
        !SetFileInformationByHandle(file, FileDispositionInfo, &keep, sizeof keep))
        error = Failure("cannot write it", GetLastError());
    if (!CloseHandle(file) && error.empty()) error = Failure("cannot write it", GetLastError());
    if (error.empty()) {
        const DWORD code = RenameNotReplacing(temporary_, path_);
        if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
            error = "another file of that name appeared meanwhile and was kept";
        else if (code != 0)
            error = Failure("cannot give it its name", code);
    }
    if (error.empty()) return {};
    DeleteFileW(temporary_.c_str());
    return util::Fail(std::move(error));
}

void RemoveInterruptedWrites(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"/\\");
    const std::wstring folder = slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
    const std::wstring prefix = path.substr(folder.size()) + L".";
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path + L".*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        // A file still being written is open without sharing, and DeleteFileW fails on it.
        const DWORD skipped = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
        if (!(found.dwFileAttributes & skipped) && IsTemporaryName(found.cFileName, prefix))
            DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Without MOVEFILE_REPLACE_EXISTING the move refuses an existing name, so a file that
// appeared meanwhile is kept.
unsigned long RenameNotReplacing(const std::wstring& from, const std::wstring& to) {
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return 0;
        const DWORD code = GetLastError();
        const bool held = code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED;
        if (!held || attempt == kRenameAttempts) return code;
        Sleep(kRenamePauseMs);
    }
}

void KeepNewFilesFromOthers() {}

}  // namespace platform
