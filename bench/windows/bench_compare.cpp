// The Wine side of bench/compare.sh: starts Dunmo.exe (from the build folder
// above this program's) and drives it through its window, timing with
// QueryPerformanceCounter from the click or Enter; process start is left out.
//
//   bench_compare file PATH     MD5 from launch to its line, then MD5, SHA-1,
//                               CRC32 and (when the window has it) SHA-256 each
//                               from a click on its radio button
//   bench_compare folder PATH [md5|sha1|sha256|sha512] [1cpu]
//                               the folder typed into the path box, from Enter
//                               to its last line; every file of the folder must
//                               have exactly one line. 1cpu: Dunmo may run on
//                               one processor only, so it uses one hasher
//   bench_compare floor PATH    a plain open/read/close walk of the folder
//   bench_compare readfloor PATH
//                               the file read whole into one reused buffer of
//                               Dunmo's read size, without hashing
//   bench_compare panefloor PATH
//                               one line per file of the folder, shaped like
//                               Dunmo's, put into a bare output pane with its
//                               styles and font in one insert, and painted
//   bench_compare panecost PATH
//                               the cost of one more insert into that pane, as
//                               it holds 1, 2 and 3 times the folder's lines
//   bench_compare close PATH    Dunmo started on PATH and closed (as by Esc) as
//                               soon as it is busy, and again 0.3 s and 1 s later:
//                               the time from the close to the end of the process
//
// Each case prints "result CASE SECONDS WORST_MS P99_MS PEAK_MB DETAIL": the
// slowest and the 99th-percentile answer of Dunmo's window, its peak working
// set, and as DETAIL the digest (file), "LINES/FILES ok|BAD" (folder) or the
// files read (floors).
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "DriverSupport.h"
#include "ui/ResultPane.h"

namespace {

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

// A single file's floor: its bytes through ReadFile, 1 MiB at a time as the
// job reads, into the same buffer.
void ReadFloor(const std::wstring& path) {
    std::vector<char> buffer(1 << 20);
    const double started = Now();
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot open the file");
    unsigned long long total = 0;
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got != 0) total += got;
    CloseHandle(file);
    std::printf("result readfloor %.4f 0 0 0 %llu\n", Now() - started, total);
    std::fflush(stdout);
}

// Starts `program`; with oneCpu it may run on the first processor only, set
// before its first instruction.
HANDLE Launch(const std::wstring& program, const std::wstring& argument, DWORD* processId, bool oneCpu = false) {
    std::wstring commandLine = L"\"" + program + L"\" " + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &info)) {
        Fail("cannot start a process");
    }
    if (oneCpu && !SetProcessAffinityMask(info.hProcess, 1)) Fail("cannot set the affinity");
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    if (processId) *processId = info.dwProcessId;
    return info.hProcess;
}

// A running Dunmo.exe, watched through its window. About every 25 ms a
// message is sent to the dialog and timed until it returns, and a harmless
// message (a new text limit for the pane, unlimited either way) is posted: it
// waits behind everything already queued, as a click would, and is timed until
// it is seen answered. Both are answers.
class Dunmo {
public:
    Dunmo(const std::wstring& program, const std::wstring& argument, bool oneCpu = false) {
        started = Now();
        DWORD id = 0;
        process = Launch(program, argument.empty() ? L"" : L"\"" + argument + L"\"", &id, oneCpu);
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
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(to, message, wParam, 0, SMTO_NORMAL, 60000, &answer)) {
            Fail("Dunmo.exe did not answer for a minute");
        }
        return static_cast<LRESULT>(answer);
    }
    long Lines() { return static_cast<long>(Ask(pane, EM_GETLINECOUNT)) - 1; }  // each ends in CRLF
    bool Busy() const { return !IsWindowEnabled(GetDlgItem(window, IDC_BROWSE)); }
    HWND Control(int id) const { return GetDlgItem(window, id); }

    // Polls every few ms until done() holds; returns the time it first held.
    template <typename Done>
    double WaitUntil(Done done) {
        for (;;) {
            const double now = Now();
            Probe(now);
            if (done()) return now;
            Sleep(3);
        }
    }

    double Click(int radio) {
        const double clicked = Now();
        Ask(GetDlgItem(window, radio), BM_CLICK);
        return clicked;
    }

    // Types `path` into the path box and presses Enter there; the time of the press.
    double Enter(const std::wstring& path) {
        const HWND edit = GetDlgItem(window, IDC_PATH);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC)) << 16;
        const double pressed = Now();
        PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1 | scan);
        PostMessageW(edit, WM_KEYUP, VK_RETURN, 1 | scan | (LPARAM{3} << 30));
        return pressed;
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

    // The process's peak working set so far, in MB.
    double PeakMegabytes() const {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        if (!K32GetProcessMemoryInfo(process, &counters, sizeof counters)) return -1;
        return static_cast<double>(counters.PeakWorkingSetSize) / 1e6;
    }

    double Worst() const { return answers.empty() ? 0 : *std::max_element(answers.begin(), answers.end()); }
    double Percentile99() {
        if (answers.empty()) return 0;
        std::vector<double> sorted = answers;
        const std::size_t at = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(sorted.size()))) - 1;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(at), sorted.end());
        return sorted[at];
    }
    void ResetAnswers() { answers.clear(); }

    double started = 0;

private:
    void Probe(double now) {
        if (posted > 0 && static_cast<DWORD>(Ask(pane, EM_GETLIMITTEXT)) == limit) {
            answers.push_back(now - posted);
            posted = 0;
        }
        if (now - lastProbe < 0.025) return;
        lastProbe = now;
        const double before = Now();
        Ask(window, WM_NULL);
        answers.push_back(Now() - before);
        if (posted == 0) {
            limit = limit == ~DWORD{0} ? ~DWORD{0} - 1 : ~DWORD{0};
            PostMessageW(pane, EM_SETLIMITTEXT, limit, 0);
            posted = Now();
        }
    }

    HANDLE process = nullptr;
    HWND window = nullptr, pane = nullptr;
    DWORD limit = ~DWORD{0};
    double posted = 0, lastProbe = 0;
    std::vector<double> answers;  // seconds
};

void Report(const char* name, double seconds, double worst, double p99, double peakMegabytes,
            const std::wstring& detail) {
    std::printf("result %s %.4f %.1f %.1f %.1f %ls\n", name, seconds, worst * 1000, p99 * 1000, peakMegabytes,
                detail.c_str());
    std::fflush(stdout);
}
void Report(const char* name, double seconds, Dunmo& dunmo, const std::wstring& detail) {
    Report(name, seconds, dunmo.Worst(), dunmo.Percentile99(), dunmo.PeakMegabytes(), detail);
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
    Report("md5-launch", shown - dunmo.started, dunmo, LastDigest(dunmo));
    const std::pair<int, const char*> clicks[] = {
        {IDC_MD5, "md5-click"},       {IDC_SHA1, "sha1-click"},       {IDC_CRC32, "crc32-click"},
        {IDC_SHA256, "sha256-click"}, {IDC_SHA512, "sha512-click"}};
    for (const auto& [radio, name] : clicks) {
        if (!dunmo.Control(radio)) continue;  // a digest this build does not offer
        const long before = dunmo.Lines();
        dunmo.ResetAnswers();
        const double clicked = dunmo.Click(radio);
        const double shown = dunmo.WaitUntil([&] { return dunmo.Lines() > before; });
        dunmo.WaitUntil([&] { return !dunmo.Busy(); });
        Report(name, shown - clicked, dunmo, LastDigest(dunmo));
    }
}

void Folder(const std::wstring& program, const std::wstring& folder, int radio, bool oneCpu) {
    std::unordered_map<std::wstring, int> seen;
    ForEachFile(folder, [&](const std::wstring& path) { seen.emplace(path, 0); });
    const long files = static_cast<long>(seen.size());
    Dunmo dunmo(program, L"", oneCpu);
    dunmo.Click(radio);  // with an empty path box this only makes the choice
    dunmo.ResetAnswers();
    const double pressed = dunmo.Enter(folder);
    dunmo.WaitUntil([&] { return dunmo.Busy() || dunmo.Lines() >= files; });
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
    Report("folder", done - pressed, dunmo,
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
        Report(name, closing, 0, 0, 0, std::to_wstring(lines) + L" lines shown");
    }
}

void Floor(const std::wstring& folder) {
    const double started = Now();
    const int files = ReadAll(folder);
    Report("floor", Now() - started, 0, 0, 0, std::to_wstring(files));
}

// One line per file of the folder, shaped like Dunmo's.
std::wstring ResultLines(const std::wstring& folder, int& lines) {
    std::wstring text;
    lines = 0;
    ForEachFile(folder, [&](const std::wstring& path) {
        text += L"[MD5] 0123456789ABCDEF0123456789ABCDEF - " + path + L"\r\n";
        ++lines;
    });
    return text;
}

// A bare output pane with Dunmo's styles and font, in a window of its own
// (`owner`, to be destroyed when done).
HWND BarePane(const wchar_t* title, HWND& owner) {
    RegisterResultPane();
    owner = CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 460, 200, nullptr,
                            nullptr, nullptr, nullptr);
    // 280 x 73 dialog units in the dialog's font.
    const HWND pane = CreateWindowExW(WS_EX_STATICEDGE, kResultPaneClass, L"",
                                      WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP, 8, 8, 420, 119,
                                      owner, nullptr, nullptr, nullptr);
    LOGFONTW description{};
    description.lfHeight = -12;
    lstrcpynW(description.lfFaceName, L"Courier New", LF_FACESIZE);
    SendMessageW(pane, WM_SETFONT, reinterpret_cast<WPARAM>(CreateFontIndirectW(&description)), TRUE);
    return pane;
}

// The pane's floor: what the pane itself takes for the folder's lines.
void PaneFloor(const std::wstring& folder) {
    int lines = 0;
    const std::wstring text = ResultLines(folder, lines);
    HWND owner = nullptr;
    const HWND pane = BarePane(L"pane floor", owner);
    UpdateWindow(owner);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    const double started = Now();
    SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    UpdateWindow(pane);
    const double ended = Now();
    const long count = static_cast<long>(SendMessageW(pane, EM_GETLINECOUNT, 0, 0)) - 1;
    DestroyWindow(owner);
    Report("panefloor", ended - started, 0, 0, 0, std::to_wstring(count == lines ? lines : -1));
}

// What one more insert costs once the pane holds the folder's lines: the
// per-insert cost that grows with the text, apart from the per-line cost.
void PaneCost(const std::wstring& folder) {
    int lines = 0;
    const std::wstring text = ResultLines(folder, lines);
    HWND owner = nullptr;
    const HWND pane = BarePane(L"pane cost", owner);
    const std::wstring line = text.substr(0, text.find(L'\n') + 1);
    for (int round = 0; round < 3; ++round) {
        const double a = Now();
        SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
        const double b = Now();
        std::wstring hundred;
        for (int i = 0; i < 100; ++i) hundred += line;
        double one = 0, many = 0, length = 0, paint = 0;
        for (int i = 0; i < 10; ++i) {
            double t = Now();
            SendMessageW(pane, WM_SETREDRAW, FALSE, 0);
            SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
            one += Now() - t;
            t = Now();
            SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(hundred.c_str()));
            many += Now() - t;
            t = Now();
            const int end = GetWindowTextLengthW(pane);
            SendMessageW(pane, EM_SETSEL, end, end);
            length += Now() - t;
            SendMessageW(pane, WM_SETREDRAW, TRUE, 0);
            t = Now();
            RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
            paint += Now() - t;
        }
        const long lines = static_cast<long>(SendMessageW(pane, EM_GETLINECOUNT, 0, 0)) - 1;
        std::printf("pane with %ld lines: its last %zu lines in one insert %.0f ms; then per insert: 1 line %.1f ms, "
                    "100 lines %.1f ms, length+select %.2f ms, repaint %.1f ms\n",
                    lines, text.size() / line.size(), (b - a) * 1000, one * 100, many * 100, length * 100, paint * 100);
        std::fflush(stdout);
    }
    DestroyWindow(owner);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: bench_compare file|folder|floor|readfloor|panefloor|panecost|close PATH "
                   "[md5|sha1|sha256|sha512] [1cpu]\n", stderr);
        return 1;
    }
    const std::wstring mode = argv[1], path = argv[2];
    bool oneCpu = false;
    int radio = IDC_MD5;
    for (int i = 3; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"1cpu") oneCpu = true;
        if (option == L"sha1") radio = IDC_SHA1;
        if (option == L"sha256") radio = IDC_SHA256;
        if (option == L"sha512") radio = IDC_SHA512;
    }

    const std::wstring dunmo = DunmoPath();

    if (mode == L"file") {
        File(dunmo, path);
    } else if (mode == L"close") {
        Close(dunmo, path);
    } else if (mode == L"folder") {
        Folder(dunmo, path, radio, oneCpu);
    } else if (mode == L"floor") {
        Floor(path);
    } else if (mode == L"readfloor") {
        ReadFloor(path);
    } else if (mode == L"panefloor") {
        PaneFloor(path);
    } else if (mode == L"panecost") {
        PaneCost(path);
    } else {
        std::fputs("bench_compare: unknown mode\n", stderr);
        return 1;
    }
    return 0;
}
