// The Wine side of bench/check.sh: starts Dunmo.exe (from the build folder
// above this program's) on one path and waits for its job to end, sending
// WM_NULL to its window every 25 ms and timing each answer.
//
//   bench_check PATH LINES [sha1|sha256|sha512]
//                            PATH is a sums file or a folder; LINES the lines
//                            the pane must end with (a check's include its tally)
//
// Prints "result SECONDS WORST_ANSWER_MS LINES PEAK_WORKING_SET_MIB
// PEAK_PRIVATE_MIB LAST_LINE", the time from the CreateProcess call to the end
// of the busy state with every line shown. A start names no digest, so with
// one the folder is typed in instead: Dunmo starts empty, the digest's button
// is clicked and the path entered, and SECONDS is the start to the window
// plus Enter to the end, leaving the click out.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DriverSupport.h"

namespace {

std::wstring Widen(const char* text) {
    std::wstring wide(std::strlen(text), L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<unsigned char>(text[i]);
    return wide;
}

}  // namespace

int main(int argc, char** argv) {
    const std::pair<const char*, int> radios[] = {{"sha1", IDC_SHA1}, {"sha256", IDC_SHA256}, {"sha512", IDC_SHA512}};
    int radio = 0;
    for (const auto& [name, id] : radios) {
        if (argc == 4 && std::strcmp(argv[3], name) == 0) radio = id;
    }
    if (argc != 3 && !(argc == 4 && radio != 0)) {
        std::fputs("usage: bench_check PATH LINES [sha1|sha256|sha512]\n", stderr);
        return 1;
    }
    const std::wstring path = Widen(argv[1]);
    const long expected = std::atol(argv[2]);
    const std::wstring program = DunmoPath();

    double started = Now();
    std::wstring commandLine = L"\"" + program + L"\"" + (radio ? L"" : L" \"" + path + L"\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        Fail("cannot start Dunmo.exe");
    CloseHandle(info.hThread);
    Search search{info.dwProcessId, nullptr};
    while (!search.found && WaitForSingleObject(info.hProcess, 1) == WAIT_TIMEOUT)
        EnumWindows(&FindMainDialog, reinterpret_cast<LPARAM>(&search));
    const HWND window = search.found;
    if (!window) Fail("Dunmo.exe showed no window");
    const HWND pane = GetDlgItem(window, IDC_OUTPUT);
    if (radio != 0) {
        const double shown = Now();
        SendMessageW(GetDlgItem(window, radio), BM_CLICK, 0, 0);  // with an empty path box only the choice
        const HWND edit = GetDlgItem(window, IDC_PATH);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC)) << 16;
        started += Now() - shown;
        PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1 | scan);
        PostMessageW(edit, WM_KEYUP, VK_RETURN, 1 | scan | (LPARAM{3} << 30));
    }

    double worst = 0;
    const auto ask = [&](HWND to, UINT message) {
        const double before = Now();
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(to, message, 0, 0, SMTO_NORMAL, 600000, &answer)) Fail("no answer");
        worst = std::max(worst, Now() - before);
        return static_cast<long>(answer);
    };
    // Done once idle with every line in, or idle for five seconds without.
    double done = 0, idleSince = 0;
    for (;;) {
        ask(window, WM_NULL);
        done = Now();
        if (IsWindowEnabled(GetDlgItem(window, IDC_BROWSE))) {
            if (idleSince == 0) idleSince = done;
            if (ask(pane, EM_GETLINECOUNT) - 1 >= expected || done - idleSince > 5) break;
        } else {
            idleSince = 0;
        }
        Sleep(25);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    K32GetProcessMemoryInfo(info.hProcess, &memory, sizeof memory);

    std::wstring text(static_cast<std::size_t>(ask(pane, WM_GETTEXTLENGTH)) + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(pane, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL, 600000,
                        &copied);
    text.resize(copied);
    long lines = 0;
    for (std::size_t at = 0; (at = text.find(L"\r\n", at)) != std::wstring::npos; at += 2) ++lines;
    const std::size_t last = text.size() < 2 ? 0 : text.rfind(L'\n', text.size() - 3) + 1;
    std::printf("result %.3f %.1f %ld %.1f %.1f %ls\n", done - started, worst * 1000, lines,
                memory.PeakWorkingSetSize / 1048576.0, memory.PeakPagefileUsage / 1048576.0,
                text.substr(last, text.size() - last - std::min<std::size_t>(2, text.size())).c_str());
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    WaitForSingleObject(info.hProcess, 60000);
    CloseHandle(info.hProcess);
    return lines == expected ? 0 : 2;
}
