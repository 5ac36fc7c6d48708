// Checks of the Windows platform layer, the loader and the report on the Windows target
// that the end-to-end suites cannot make on the installed program, built with a
// cross-compiler and run under wine by run_mingw_checks.sh.
//
//   platform_check checks SCRATCH EXE_FOLDER   in-process checks; SCRATCH is an empty
//                                              folder, EXE_FOLDER where this file lives
//   platform_check event                       waits for one console event (CTRL_C_EVENT)
//
// Every check prints "ok: NAME" or "FAILED: NAME: WHAT"; the script counts them.
#define WIN32_LEAN_AND_MEAN

#include <windows.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "agentcommon/CorvaneCommon.h"
#include "check/ping_report.h"
#include "install/install_parameters.h"
#include "platform/console_control.h"
#include "platform/file_read.h"
#include "platform/file_status.h"
#include "platform/file_write.h"
#include "platform/library_search.h"
#include "platform/native_path.h"
#include "platform/process_paths.h"

// The checks link the platform files without the agent's library: the loader gets its
// configuration folder from this stand-in, and its log line goes to g_unreadable.
namespace {
std::wstring g_configFolder;
std::string g_unreadable;
}  // namespace

namespace Ardentis {
std::wstring GetConfigPath() {
    return g_configFolder;
}
}  // namespace Ardentis

namespace corvane {
void LogUnreadableInstallParameters(const std::wstring& path, const std::string& reason) {
    g_unreadable = platform::DisplayPath(path) + ": " + reason;
}
}  // namespace corvane

namespace {

int g_failed = 0;

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

void Check(bool passed, const std::string& name, const std::string& detail = {}) {
    if (passed) {
        std::cout << "ok: " << name << std::endl;
    } else {
        ++g_failed;
        std::cout << "FAILED: " << name << (detail.empty() ? "" : ": " + detail) << std::endl;
    }
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string Describe(const corvane::InstallParameters& table) {
    std::string out;
    for (const auto& [key, value] : table) out += "[" + key + "|" + value + "]";
    return out;
}

void CheckLoader(const std::wstring& scratch) {
    g_configFolder = scratch + L"\\config";
    CreateDirectoryW(g_configFolder.c_str(), nullptr);
    const std::wstring file = g_configFolder + L"/install_config.txt";

    corvane::InstallParameters missing;
    Check(corvane::LoadInstallParameters(missing) == 0 && missing.empty(),
          "loader: missing file gives no entries");
    Check(g_unreadable.ends_with(" (error 2)"), "loader: the log says it was not found",
          g_unreadable);

    // Carriage return and line feed line ends, as Windows editors write them.
    const std::string text =
        "ConfigurationServer= https://127.0.0.1:8443\r\n"
        "ApplicationToken=token==\r\n"
        "#ConfigurationServer=old\r\n"
        "  Some Key\t = value \r\n"
        "\r\n"
        "a line without separator\r\n"
        "=\r\n";
    Check(WriteBytes(file, text), "loader: test file written");
    corvane::InstallParameters table;
    const std::size_t count = corvane::LoadInstallParameters(table);
    const std::string expected =
        "[|][#ConfigurationServer|old][ApplicationToken|token==]"
        "[ConfigurationServer| https://127.0.0.1:8443][Some Key| value ]";
    Check(count == 5 && Describe(table) == expected, "loader: entries of a CRLF file",
          std::to_string(count) + " " + Describe(table));

    // Only the first 4096 bytes count: a parameter beyond them is never loaded.
    std::string longText = "First=1\n" + std::string(4200, '#') + "\nLate=2\n";
    Check(WriteBytes(file, longText), "loader: long file written");
    std::array<char, corvane::kInstallParameterWindow> buffer{};
    const auto read = platform::ReadFileStart(file, buffer);
    Check(read && *read == buffer.size(), "read: one read fills the 4096-byte window",
          read ? std::to_string(*read) : "nullopt");
    corvane::InstallParameters windowed;
    corvane::LoadInstallParameters(windowed);
    Check(Describe(windowed) == "[First|1]", "loader: nothing beyond the window",
          Describe(windowed));

    Check(WriteBytes(file, ""), "loader: empty file written");
    const auto empty = platform::ReadFileStart(file, buffer);
    Check(empty && *empty == 0, "read: empty file gives 0 bytes");
}

void CheckSharing(const std::wstring& scratch) {
    const std::wstring file = scratch + L"\\shared.txt";
    WriteBytes(file, "Key=value\n");
    std::array<char, 64> buffer{};

    // Another reader does not stand in the way.
    const HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const auto withReader = platform::ReadFileStart(file, buffer);
    Check(reader != INVALID_HANDLE_VALUE && withReader && *withReader == 10,
          "read: a second reader is allowed");
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);

    // A writer is: the open refuses to share the file with write access.
    const HANDLE writer =
        CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const auto withWriter = platform::ReadFileStart(file, buffer);
    Check(writer != INVALID_HANDLE_VALUE && !withWriter,
          "read: a handle open for writing makes the open fail");

    // The loader then finds nothing, exactly as for a missing file.
    g_configFolder = scratch + L"\\held";
    CreateDirectoryW(g_configFolder.c_str(), nullptr);
    const std::wstring config = g_configFolder + L"\\install_config.txt";
    WriteBytes(config, "ConfigurationServer=x\nApplicationToken=y\n");
    const HANDLE held =
        CreateFileW(config.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    corvane::InstallParameters table;
    g_unreadable.clear();
    Check(held != INVALID_HANDLE_VALUE && corvane::LoadInstallParameters(table) == 0,
          "loader: file held open for writing gives no entries");
    // The log names the file in Windows form, and the sharing violation.
    const std::string expected = platform::DisplayPath(config) + ": ";
    Check(g_unreadable.starts_with(expected) && g_unreadable.ends_with(" (error 32)") &&
              g_unreadable.find('/') == std::string::npos,
          "loader: the log says why", g_unreadable);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

    const auto afterClose = platform::ReadFileStart(file, buffer);
    Check(afterClose && *afterClose == 10, "read: the file reads again once the writer closed");
}

void CheckNotDiskFiles(const std::wstring& scratch) {
    std::array<char, 64> buffer{};
    Check(!platform::ReadFileStart(scratch + L"\\missing.txt", buffer), "read: missing file");
    Check(!platform::ReadFileStart(scratch, buffer), "read: a folder is refused");
    Check(!platform::ReadFileStart(L"\\\\.\\NUL", buffer), "read: a device is refused");

    // A pipe whose server never writes would block a read forever.
    const std::wstring pipeName =
        L"\\\\.\\pipe\\corvane_platform_check_" + std::to_wstring(GetCurrentProcessId());
    const HANDLE pipe = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 512, 512, 0, nullptr);
    Check(pipe != INVALID_HANDLE_VALUE, "pipe: created");
    if (pipe != INVALID_HANDLE_VALUE) {
        Check(!platform::ReadFileStart(pipeName, buffer), "read: a named pipe is refused");
        CloseHandle(pipe);
    }
}

void CheckStatus(const std::wstring& scratch) {
    const std::wstring file = scratch + L"\\ConfigurationServer.PEM";
    WriteBytes(file, "-----BEGIN CERTIFICATE-----\n");
    Check(platform::PathExists(file), "status: file");
    Check(platform::PathExists(scratch), "status: folder");
    Check(!platform::PathExists(scratch + L"\\absent.PEM"), "status: missing file");
    Check(!platform::PathExists(scratch + L"\\absent\\x.PEM"), "status: missing folder");
    Check(platform::PathExists(scratch + L"/ConfigurationServer.PEM"),
          "status: forward slash appended to the folder");
}

std::string ReadAll(const std::wstring& path) {
    std::vector<char> buffer(1 << 20);
    const auto count = platform::ReadFileStart(path, buffer);
    return count ? std::string(buffer.data(), *count) : "<unreadable>";
}

int CountEntries(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") ++count;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return count;
}

// How the communication module pins the server certificate.
util::Expected<void> WriteNewFile(const std::wstring& path, std::string_view content) {
    platform::NewFile file(path);
    if (!file.Created()) return file.Created();
    return file.Commit(content);
}

// "written", or why not.
std::string Outcome(const util::Expected<void>& write) {
    return write ? "written" : write.Error().reason;
}

void CheckAtomicWrite(const std::wstring& scratch) {
    const std::wstring folder = scratch + L"\\pin";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring target = folder + L"/ConfigurationServer.PEM";
    const std::string first(100000, 'a');

    const std::string created = Outcome(WriteNewFile(target, first));
    Check(created == "written", "write: new file", created);
    Check(ReadAll(target) == first, "write: whole content under the final name");

    const std::string again = Outcome(WriteNewFile(target, "second"));
    Check(again == "another file of that name appeared meanwhile and was kept",
          "write: an existing file is refused", again);
    Check(ReadAll(target) == first, "write: the existing file is kept");
    Check(CountEntries(folder) == 1, "write: no temporary file stays behind",
          std::to_string(CountEntries(folder)));

    // What a run ended while writing leaves behind; only its own names go.
    const std::wstring leftover = folder + L"\\ConfigurationServer.PEM.4242-0.tmp";
    const std::wstring other = folder + L"\\ConfigurationServer.PEM.old.tmp";
    WriteBytes(leftover, "-----BEGIN CERTIFICATE-----\n");
    WriteBytes(other, "-----BEGIN CERTIFICATE-----\n");
    platform::RemoveInterruptedWrites(target);
    Check(!platform::PathExists(leftover), "write: an interrupted write's file is removed");
    Check(platform::PathExists(other) && platform::PathExists(target),
          "write: other files are kept");

    const std::string missing = Outcome(WriteNewFile(scratch + L"\\absent\\x.PEM", "x"));
    Check(missing.rfind("cannot create a temporary file beside it: ", 0) == 0,
          "write: missing folder", missing);
}

// A scanner that opens the pin's temporary file the moment it is closed, without sharing
// delete: the rename waits for it, within its window, and gives up on one that stays.
void CheckRenameOfHeldFile(const std::wstring& scratch) {
    const std::wstring from = scratch + L"\\held.tmp";
    const std::wstring to = scratch + L"\\held.PEM";
    WriteBytes(from, "pem");
    const HANDLE held = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool refused =
        !MoveFileExW(from.c_str(), to.c_str(), 0) && GetLastError() == ERROR_SHARING_VIOLATION;
    Check(held != INVALID_HANDLE_VALUE && refused, "rename: a held file cannot be moved");
    const unsigned long kept = platform::RenameNotReplacing(from, to);
    Check(kept == ERROR_SHARING_VIOLATION && !platform::PathExists(to),
          "rename: a file held throughout is not moved", std::to_string(kept));

    // Released after a fifth of a second, in the middle of the retries.
    HANDLE release = CreateThread(
        nullptr, 0,
        [](LPVOID handle) -> DWORD {
            Sleep(200);
            CloseHandle(static_cast<HANDLE>(handle));
            return 0;
        },
        held, 0, nullptr);
    const unsigned long moved = platform::RenameNotReplacing(from, to);
    Check(release && moved == 0 && ReadAll(to) == "pem" && !platform::PathExists(from),
          "rename: a file released within the window is moved", std::to_string(moved));
    if (release) {
        WaitForSingleObject(release, INFINITE);
        CloseHandle(release);
    } else {
        CloseHandle(held);
    }
}

std::wstring CurrentDirectory() {
    std::wstring path(32768, L'\0');
    path.resize(GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data()));
    return path;
}

void CheckProcessPaths(const std::wstring& scratch, const std::wstring& exeFolder) {
    const auto found = platform::ExecutableFolder();
    const std::wstring folder = found ? *found : L"";
    Check(found.HasValue(), "paths: executable folder found", found ? "" : found.Error().reason);
    // The script puts this program in a folder deeper than MAX_PATH.
    Check(exeFolder.size() > MAX_PATH, "paths: executable path is longer than MAX_PATH");
    Check(CompareStringOrdinal(folder.c_str(), -1, exeFolder.c_str(), -1, TRUE) == CSTR_EQUAL,
          "paths: executable folder", Narrow(folder));
    Check(platform::PathExists(folder + L"\\platform_check.exe"),
          "paths: the executable is in that folder");

    const std::wstring target = scratch + L"\\work dir";
    CreateDirectoryW(target.c_str(), nullptr);
    Check(platform::SetWorkingDirectory(target).HasValue(), "cwd: change succeeds");
    const std::wstring now = CurrentDirectory();
    Check(CompareStringOrdinal(now.c_str(), -1, target.c_str(), -1, TRUE) == CSTR_EQUAL,
          "cwd: now the target folder", Narrow(now));
    Check(!platform::SetWorkingDirectory(scratch + L"\\absent"), "cwd: missing folder fails");
    Check(CurrentDirectory() == now, "cwd: unchanged after a failure");
}

LONG WINAPI SomeFilter(EXCEPTION_POINTERS*) {
    return EXCEPTION_CONTINUE_SEARCH;
}

void CheckExceptionFilter() {
    SetUnhandledExceptionFilter(SomeFilter);
    platform::ClearUnhandledExceptionFilter();
    Check(SetUnhandledExceptionFilter(nullptr) == nullptr, "console: exception filter cleared");
}

std::string Report(const corvane::InstallParameters& table, const corvane::PingOutcome& outcome) {
    std::ostringstream captured;
    std::streambuf* previous = std::cout.rdbuf(captured.rdbuf());
    corvane::PrintPingReport(table, outcome);
    std::cout.rdbuf(previous);
    return captured.str();
}

// long is 32 bits on Windows: the codes go through other inserters than on Linux.
void CheckReport() {
    corvane::InstallParameters table;
    corvane::ParseInstallParameters(
        "ConfigurationServer= x\nApplicationToken=tok=\n#ConfigurationServer=y\n", table);
    corvane::PingOutcome outcome;
    outcome.certificateBefore = false;
    outcome.certificateAfter = true;
    outcome.lastResponseCode = 200;
    outcome.lastErrorCode = -1;
    const std::string expected =
        "\n\nCorvane pinging with config/install_config.txt parameters:\n"
        "ApplicationToken = tok=\n"
        "ConfigurationServer =  x\n"
        "\n"
        "Certificate file config/ConfigurationServer.PEM existence: Before pinging: false "
        "After pinging: true\n"
        "Last response code: 0x000000c8\n"
        "Last error code: 0xffffffff\n"
        "Last error message: \n";
    const std::string report = Report(table, outcome);
    Check(report == expected, "report: exact text", report);

    outcome.lastResponseCode = INT_MIN;
    outcome.lastErrorCode = INT_MAX;
    outcome.lastErrorMessage = "no answer";
    const std::string extremes = Report(table, outcome);
    Check(extremes.find("Last response code: 0x80000000\nLast error code: 0x7fffffff\n"
                        "Last error message: no answer\n") != std::string::npos,
          "report: extreme codes in 8 digits", extremes);
}

// A DLL in the working directory (where the script put corvane_planted.dll) loads by its
// name until the search is restricted, and afterwards only by its full path.
void CheckLibrarySearch(const std::wstring& workFolder) {
    SetCurrentDirectoryW(workFolder.c_str());
    const HMODULE before = LoadLibraryW(L"corvane_planted.dll");
    Check(before != nullptr, "library search: a DLL in the working directory loads by name");
    if (before) FreeLibrary(before);

    platform::RestrictLibrarySearch();
    const HMODULE after = LoadLibraryW(L"corvane_planted.dll");
    Check(after == nullptr, "library search: restricted, it no longer does");
    if (after) FreeLibrary(after);
    const HMODULE full = LoadLibraryW((workFolder + L"\\corvane_planted.dll").c_str());
    Check(full != nullptr, "library search: a full path still loads");
    if (full) FreeLibrary(full);
}

std::atomic<long> g_eventType{-1};

bool RecordEvent(unsigned long ctrlType) {
    g_eventType.store(static_cast<long>(ctrlType));
    return true;
}

// Waits, at most 20 seconds, for the script's console event.
int WaitForEvent(platform::ConsoleCtrlHandlerFn handler) {
    platform::AddConsoleCtrlHandler(handler);
    std::cout << "ready" << std::endl;
    for (int i = 0; i < 200 && g_eventType.load() < 0; ++i) Sleep(100);
    std::cout << "event " << g_eventType.load() << std::endl;
    return g_eventType.load() == CTRL_C_EVENT ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"event") return WaitForEvent(RecordEvent);
    if (mode != L"checks" || argc != 4) {
        std::cerr << "usage: platform_check checks SCRATCH EXE_FOLDER | event" << std::endl;
        return 2;
    }
    const std::wstring scratch = argv[2];
    CheckLoader(scratch);
    CheckSharing(scratch);
    CheckNotDiskFiles(scratch);
    CheckStatus(scratch);
    CheckAtomicWrite(scratch);
    CheckRenameOfHeldFile(scratch);
    CheckProcessPaths(scratch, argv[3]);
    CheckExceptionFilter();
    CheckReport();
    CheckLibrarySearch(scratch + L"\\work dir");
    return g_failed == 0 ? 0 : 1;
}
