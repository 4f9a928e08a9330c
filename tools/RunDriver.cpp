// Runs Dunmo.exe on a machine without a user: starts it with the given paths,
// waits until its job has ended, prints the output pane's lines (UTF-8) to
// standard output, selects the pane's last two lines upwards and gives it the
// focus (so a screenshot shows selection and caret), lets a screenshot be
// taken, closes the window and exits with Dunmo's exit code.
//
// Usage: RunDriver <Dunmo.exe> <handshake folder> [PATH...]
// Once the lines are printed the driver creates "<handshake folder>\ready" and
// waits (at most a minute) for "<handshake folder>\shot" before closing.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindMainDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (owner == search->processId && IsWindowVisible(window) &&
        lstrcmpW(className, L"#32770") == 0 && GetDlgItem(window, IDC_OUTPUT) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Quotes one argument the way the runtime's start-up code splits it again.
std::wstring Quote(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::wstring PaneText(HWND pane) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(pane, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 30000, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(pane, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_NORMAL, 30000, &copied);
    text.resize(copied);
    return text;
}

void PrintUtf8(const std::wstring& text) {
    std::wstring lines;
    for (const wchar_t c : text) {
        if (c != L'\r') lines += c;
    }
    if (lines.empty()) return;
    const int size = WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, lines.data(), static_cast<int>(lines.size()), bytes.data(),
                        size, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

// As Shift+Up twice from the end would: the anchor at the end, the caret two
// lines up. Focus moves across processes only with the input queues joined.
void SelectLastLines(HWND dialog, HWND pane) {
    const auto lines = SendMessageW(pane, EM_GETLINECOUNT, 0, 0);
    const auto end = SendMessageW(pane, WM_GETTEXTLENGTH, 0, 0);
    const auto caret = SendMessageW(pane, EM_LINEINDEX, lines > 2 ? lines - 3 : 0, 0);
    const DWORD self = GetCurrentThreadId(), owner = GetWindowThreadProcessId(dialog, nullptr);
    AttachThreadInput(self, owner, TRUE);
    SetForegroundWindow(dialog);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(pane), TRUE);
    AttachThreadInput(self, owner, FALSE);
    SendMessageW(pane, EM_SETSEL, static_cast<WPARAM>(end), caret);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: RunDriver <Dunmo.exe> <handshake folder> [PATH...]\n", stderr);
        return 1;
    }
    const std::wstring handshake = argv[2];
    std::wstring commandLine = Quote(argv[1]);
    for (int i = 3; i < argc; ++i) commandLine += L" " + Quote(argv[i]);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "RunDriver: cannot start Dunmo (error %lu)\n", GetLastError());
        return 1;
    }
    CloseHandle(process.hThread);

    // The window appears once WM_INITDIALOG, which starts the command-line
    // job, has run; the job has ended when "..." is enabled again.
    Search search{process.dwProcessId, nullptr};
    while (search.found == nullptr || !IsWindowEnabled(GetDlgItem(search.found, IDC_BROWSE))) {
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
        search.found = nullptr;
        EnumWindows(&FindMainDialog, reinterpret_cast<LPARAM>(&search));
    }
    if (search.found != nullptr) {
        const HWND pane = GetDlgItem(search.found, IDC_OUTPUT);
        PrintUtf8(PaneText(pane));
        SelectLastLines(search.found, pane);
        Sleep(500);  // let the last lines and the full bar be painted
        CloseHandle(CreateFileW((handshake + L"\\ready").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
        for (int waited = 0; waited < 600 && !Exists(handshake + L"\\shot"); ++waited) Sleep(100);
        PostMessageW(search.found, WM_COMMAND, IDCANCEL, 0);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
