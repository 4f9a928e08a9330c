// The Wine side of bench/compare.sh: starts Dunmo.exe (from the build folder
// above this program's) and drives it through its window, timing with
// QueryPerformanceCounter from the CreateProcess call or the click.
//
//   bench_compare file PATH     MD5 from launch to its line, then MD5, SHA-1
//                               and CRC32 each from a click on its radio button
//   bench_compare folder PATH   the folder from launch to its last line; every
//                               file of the folder must have exactly one line
//   bench_compare floor PATH    a plain open/read/close walk of the folder, in a
//                               child process so that it pays the same start-up
//   bench_compare close PATH    Dunmo started on PATH and closed (as by Esc) as
//                               soon as it is busy, and again 0.3 s and 1 s later:
//                               the time from the close to the end of the process
//
// Each case prints "result CASE SECONDS WORST_ANSWER_MS DETAIL" where DETAIL is
// the digest (file), "LINES/FILES ok|BAD" (folder) or the files read (floor).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "resources/resource.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "bench_compare: %s (error %lu)\n", what, GetLastError());
    std::exit(1);
}

// Calls visit(full path) for each file directly in `folder`.
template <typename Visit>
void ForEachFile(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) visit(folder + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// The platform's floor: what reading every file costs, without hashing or a window.
int ReadAll(const std::wstring& folder) {
    static char buffer[64 << 10];
    int files = 0;
    ForEachFile(folder, [&](const std::wstring& path) {
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0) {}
        CloseHandle(file);
        ++files;
    });
    return files;
}

HANDLE Launch(const std::wstring& program, const std::wstring& argument, DWORD* processId) {
    std::wstring commandLine = L"\"" + program + L"\" " + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        Fail("cannot start a process");
    }
    CloseHandle(info.hThread);
    if (processId) *processId = info.dwProcessId;
    return info.hProcess;
}

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindMainDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window) || !GetDlgItem(window, IDC_OUTPUT)) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// A running Dunmo.exe, watched through its window. Every query is a sent
// message, timed as one answer; besides, every 50 ms a harmless message (a new
// text limit for the pane, unlimited either way) is posted: it waits behind
// everything already queued, as a click would, and is read back when answered.
class Dunmo {
public:
    Dunmo(const std::wstring& program, const std::wstring& argument) {
        started = Now();
        DWORD id = 0;
        process = Launch(program, L"\"" + argument + L"\"", &id);
        Search search{id, nullptr};
        while (!search.found && WaitForSingleObject(process, 1) == WAIT_TIMEOUT) {
            EnumWindows(&FindMainDialog, reinterpret_cast<LPARAM>(&search));
        }
        window = search.found;
        if (!window) Fail("Dunmo.exe showed no window");
        pane = GetDlgItem(window, IDC_OUTPUT);
    }
    ~Dunmo() {
        PostMessageW(pane, EM_SETLIMITTEXT, 0, 0);
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        WaitForSingleObject(process, 60000);
        CloseHandle(process);
    }

    LRESULT Ask(HWND to, UINT message, WPARAM wParam = 0) {
        const double before = Now();
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(to, message, wParam, 0, SMTO_NORMAL, 60000, &answer)) {
            Fail("Dunmo.exe did not answer for a minute");
        }
        worst = std::max(worst, Now() - before);
        return static_cast<LRESULT>(answer);
    }
    long Lines() { return static_cast<long>(Ask(pane, EM_GETLINECOUNT)) - 1; }  // each ends in CRLF
    bool Busy() const { return !IsWindowEnabled(GetDlgItem(window, IDC_BROWSE)); }

    // Polls every 2 ms until done() holds; returns the time it first held.
    template <typename Done>
    double WaitUntil(Done done) {
        for (;;) {
            const double now = Now();
            Probe(now);
            if (done()) return now;
            Sleep(2);
        }
    }

    double Click(int radio) {
        const double clicked = Now();
        Ask(GetDlgItem(window, radio), BM_CLICK);
        return clicked;
    }

    // Closes the window as Esc does; the seconds until the process has ended.
    double Close() {
        const double asked = Now();
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) Fail("Dunmo.exe did not end");
        return Now() - asked;
    }

    std::wstring Text() {
        std::wstring text(static_cast<std::size_t>(Ask(pane, WM_GETTEXTLENGTH)) + 1, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(pane, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                            SMTO_NORMAL, 60000, &copied);
        text.resize(copied);
        return text;
    }

    double started = 0;
    double worst = 0;  // seconds, the slowest answer since it was last reset

private:
    void Probe(double now) {
        if (posted > 0) {
            const bool answered = static_cast<DWORD>(Ask(pane, EM_GETLIMITTEXT)) == limit;
            worst = std::max(worst, now - posted);
            if (answered) {
                posted = 0;
                lastProbe = now;
            }
        } else if (now - lastProbe >= 0.05) {
            limit = limit == ~DWORD{0} ? ~DWORD{0} - 1 : ~DWORD{0};
            PostMessageW(pane, EM_SETLIMITTEXT, limit, 0);
            posted = now;
        }
    }

    HANDLE process = nullptr;
    HWND window = nullptr, pane = nullptr;
    DWORD limit = ~DWORD{0};
    double posted = 0, lastProbe = 0;
};

void Report(const char* name, double seconds, double worst, const std::wstring& detail) {
    std::printf("result %s %.4f %.1f %ls\n", name, seconds, worst * 1000, detail.c_str());
    std::fflush(stdout);
}

// The digest of the last line, "[MD5] 9001...7F72 - C:\path".
std::wstring LastDigest(Dunmo& dunmo) {
    std::wstring text = dunmo.Text();
    text.resize(text.size() - std::min<std::size_t>(2, text.size()));  // its CRLF
    const std::size_t line = text.rfind(L'\n') + 1;  // 0 when it is the only one
    const std::size_t start = text.find(L"] ", line), end = text.find(L" - ", line);
    return start < end && end != std::wstring::npos ? text.substr(start + 2, end - start - 2) : L"none";
}

void File(const std::wstring& program, const std::wstring& path) {
    Dunmo dunmo(program, path);
    const double shown = dunmo.WaitUntil([&] { return dunmo.Lines() >= 1; });
    dunmo.WaitUntil([&] { return !dunmo.Busy(); });
    Report("md5-launch", shown - dunmo.started, dunmo.worst, LastDigest(dunmo));
    const std::pair<int, const char*> clicks[] = {
        {IDC_MD5, "md5-click"}, {IDC_SHA1, "sha1-click"}, {IDC_CRC32, "crc32-click"}};
    for (const auto& [radio, name] : clicks) {
        const long before = dunmo.Lines();
        dunmo.worst = 0;
        const double clicked = dunmo.Click(radio);
        const double shown = dunmo.WaitUntil([&] { return dunmo.Lines() > before; });
        dunmo.WaitUntil([&] { return !dunmo.Busy(); });
        Report(name, shown - clicked, dunmo.worst, LastDigest(dunmo));
    }
}

void Folder(const std::wstring& program, const std::wstring& folder) {
    std::unordered_map<std::wstring, int> seen;
    ForEachFile(folder, [&](const std::wstring& path) { seen.emplace(path, 0); });
    const long files = static_cast<long>(seen.size());
    Dunmo dunmo(program, folder);
    // Done once the busy state has ended with every line in, or has stayed
    // ended for two seconds with lines missing.
    double idleSince = 0;
    const double done = dunmo.WaitUntil([&] {
        if (dunmo.Busy()) {
            idleSince = 0;
            return false;
        }
        if (idleSince == 0) idleSince = Now();
        return dunmo.Lines() >= files || Now() - idleSince > 2;
    });
    const std::wstring text = dunmo.Text();
    long lines = 0;
    bool ok = true;
    for (std::size_t at = 0, end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2, ++lines) {
        const std::size_t dash = text.find(L" - ", at);
        const auto entry = dash < end ? seen.find(text.substr(dash + 3, end - dash - 3)) : seen.end();
        ok = ok && entry != seen.end() && ++entry->second == 1;
    }
    ok = ok && lines == files;
    Report("folder", done - dunmo.started, dunmo.worst,
           std::to_wstring(lines) + L"/" + std::to_wstring(files) + (ok ? L" ok" : L" BAD"));
}

void Close(const std::wstring& program, const std::wstring& path) {
    for (const double delay : {0.0, 0.3, 1.0}) {
        Dunmo dunmo(program, path);
        const double busy = dunmo.WaitUntil([&] { return dunmo.Busy(); });
        dunmo.WaitUntil([&] { return Now() - busy >= delay; });
        const long lines = dunmo.Lines();
        const double closing = dunmo.Close();
        char name[32];
        std::snprintf(name, sizeof name, "close-after-%.1fs", delay);
        Report(name, closing, dunmo.worst, std::to_wstring(lines) + L" lines shown");
    }
}

void Floor(const std::wstring& self, const std::wstring& folder) {
    const double started = Now();
    const HANDLE child = Launch(self, L"read \"" + folder + L"\"", nullptr);
    WaitForSingleObject(child, INFINITE);
    const double ended = Now();
    DWORD files = 0;
    GetExitCodeProcess(child, &files);
    CloseHandle(child);
    Report("floor", ended - started, 0, std::to_wstring(files));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: bench_compare file|folder|floor|close PATH\n", stderr);
        return 1;
    }
    const std::wstring mode = argv[1], path = argv[2];
    if (mode == L"read") return ReadAll(path);  // the floor's child

    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dunmo = self;
    dunmo.resize(dunmo.find_last_of(L'\\'));  // <build>\bench
    dunmo.resize(dunmo.find_last_of(L'\\'));
    dunmo += L"\\Dunmo.exe";

    if (mode == L"file") {
        File(dunmo, path);
    } else if (mode == L"close") {
        Close(dunmo, path);
    } else if (mode == L"folder") {
        Folder(dunmo, path);
    } else if (mode == L"floor") {
        Floor(self, path);
    } else {
        std::fputs("bench_compare: unknown mode\n", stderr);
        return 1;
    }
    return 0;
}
