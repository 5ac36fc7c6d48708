// What the end-to-end suites need of a Windows process beside the program under wine:
//
//   windows_helper event PROGRAM EVENT...
//       Sends console control events to the running program as the console does: a new
//       thread in that process at kernel32's CtrlRoutine, with the event as its argument.
//       Wine turns only SIGINT into an event (CTRL_C_EVENT); this gives Ctrl+Break and
//       the closing of the console as well. PROGRAM: the full Windows path of the running
//       executable; EVENT: 0 Ctrl+C, 1 Ctrl+Break, 2 close. Exits with 0 once the first
//       event was sent, 1 when no such process runs or that failed.
//   windows_helper hold FILE
//       Holds FILE open for writing (share modes hold among Windows processes only),
//       writes "open" and a line end, and closes it when its standard input ends.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// after windows.h
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// The process whose executable is program, or null.
HANDLE OpenProgram(const wchar_t* program) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE found = nullptr;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        const HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID);
        if (!process) continue;
        wchar_t image[4096];
        DWORD length = sizeof image / sizeof image[0];
        if (QueryFullProcessImageNameW(process, 0, image, &length) &&
            CompareStringOrdinal(image, -1, program, -1, TRUE) == CSTR_EQUAL)
            found = process;
        else
            CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
}

int Hold(const wchar_t* file) {
    const HANDLE held = CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 1;
    std::fputs("open\n", stdout);
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    CloseHandle(held);
    return 0;
}

int SendEvents(int argc, wchar_t* argv[]) {
    const HANDLE process = OpenProgram(argv[2]);
    // kernel32 lies at the same address in every process of a session.
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine")));
    if (!process || !routine) return 1;
    // The first event must arrive. Later ones may find the process gone, and wine can
    // leave a thread that is started in a process at its end waiting for good: each is
    // sent from a thread of its own, given a second at most.
    struct Send {
        HANDLE process;
        LPTHREAD_START_ROUTINE routine;
        ULONG_PTR event;
    };
    const auto send = [](LPVOID data) -> DWORD {
        const auto* what = static_cast<const Send*>(data);
        const HANDLE thread = CreateRemoteThread(what->process, nullptr, 0, what->routine,
                                                 reinterpret_cast<LPVOID>(what->event), 0, nullptr);
        if (!thread) return 1;
        CloseHandle(thread);
        return 0;
    };
    static Send sends[16];
    int count = 0;
    for (int i = 3; i < argc && count < 16; ++i)
        sends[count++] = {process, routine, std::wcstoul(argv[i], nullptr, 10)};
    if (send(&sends[0]) != 0) return 1;
    for (int i = 1; i < count; ++i) {
        const HANDLE thread = CreateThread(nullptr, 0, send, &sends[i], 0, nullptr);
        if (thread) {
            WaitForSingleObject(thread, 1000);
            CloseHandle(thread);
        }
    }
    ExitProcess(0);
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"event" && argc > 3) return SendEvents(argc, argv);
    if (command == L"hold" && argc == 3) return Hold(argv[2]);
    return 2;
}
