// How fast Dunmo.exe shows the lines of a big folder, and whether its window
// keeps answering meanwhile. For each folder size it runs Dunmo.exe on a folder
// of that many small files three times:
//   1. time from process start to the last line shown ("..." enabled again,
//      every line in the pane), sampling the round trip of a sent message
//      (how long the window stays inside one handler);
//   2. a real mouse click on "Cls" (SendInput) every 250 ms, timing how long
//      each takes to shrink the pane (input waits behind posted messages);
//   3. the same with a posted "Cls" command (it waits behind the worker's
//      messages already queued).
//
//   bench_output_pane [COUNT...]          default 1000 10000 50000
// Run under Wine (inside Xvfb without a display) from a cross build made with
// -DDUNMO_BENCH=ON; Dunmo.exe is taken from that build folder. The folders
// are made once in %TEMP% of the prefix.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
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

std::wstring MakeFolder(int count) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"dunmo-bench-pane-" + std::to_wstring(count);
    const std::wstring marker = folder + L".complete";  // beside it, not one of its files
    if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) return folder;
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"\\file%06d.txt", i);
        const HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, 0, nullptr);
        const std::string content = "small file " + std::to_string(i) + "\n";
        DWORD written = 0;
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
    }
    CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return folder;
}

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) &&
        GetDlgItem(window, IDC_OUTPUT) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

class Dunmo {
public:
    Dunmo(const std::wstring& program, const std::wstring& folder) {
        std::wstring commandLine = L"\"" + program + L"\" \"" + folder + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        started = Now();
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info)) {
            std::fprintf(stderr, "cannot start Dunmo.exe (error %lu)\n", GetLastError());
            std::exit(1);
        }
        CloseHandle(info.hThread);
        process = info.hProcess;
        Search search{info.dwProcessId, nullptr};
        while (search.found == nullptr && WaitForSingleObject(process, 5) == WAIT_TIMEOUT) {
            EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search));
        }
        window = search.found;
        if (window == nullptr) {
            std::fprintf(stderr, "Dunmo.exe showed no window\n");
            std::exit(1);
        }
    }
    ~Dunmo() {
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        WaitForSingleObject(process, 60000);
        CloseHandle(process);
    }
    bool Busy() const { return !IsWindowEnabled(GetDlgItem(window, IDC_BROWSE)); }
    HWND Pane() const { return GetDlgItem(window, IDC_OUTPUT); }
    LRESULT PaneLength() const {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(Pane(), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 60000, &length);
        return static_cast<LRESULT>(length);
    }

    HANDLE process = nullptr;
    HWND window = nullptr;
    double started = 0;
};

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

void ClickOn(HWND control) {
    RECT bounds{};
    GetWindowRect(control, &bounds);
    SetCursorPos((bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
}

void MeasureShowing(const std::wstring& program, const std::wstring& folder, int count) {
    Dunmo dunmo(program, folder);
    const double shown = Now();
    std::vector<double> roundTrips;
    while (dunmo.Busy()) {
        const double before = Now();
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(dunmo.window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
        roundTrips.push_back((Now() - before) * 1000);
        Sleep(10);
    }
    const double done = Now();
    const LRESULT lines = SendMessageW(dunmo.Pane(), EM_GETLINECOUNT, 0, 0) - 1;  // last is empty
    std::printf("%6d files: last line shown after %7.2f s (window up %5.2f s, %7.0f lines/s); "
                "%ld lines; sent-message round trip median %.1f ms, p99 %.1f ms, max %.1f ms\n",
                count, done - dunmo.started, shown - dunmo.started,
                count / (done - dunmo.started), static_cast<long>(lines),
                Percentile(roundTrips, 0.5), Percentile(roundTrips, 0.99),
                Percentile(roundTrips, 1.0));
    std::fflush(stdout);
}

// Clears the pane by a real click (SendInput) or, if `posted`, by a posted
// command; returns how long the pane took to shrink, or -1 after 30 s.
double ClearLatency(const Dunmo& dunmo, bool posted) {
    const HWND clear = GetDlgItem(dunmo.window, IDC_CLEAR);
    const LRESULT before = dunmo.PaneLength();
    const double clicked = Now();
    if (posted) {
        PostMessageW(dunmo.window, WM_COMMAND, MAKEWPARAM(IDC_CLEAR, BN_CLICKED),
                     reinterpret_cast<LPARAM>(clear));
    } else {
        ClickOn(clear);
    }
    // Cleared, perhaps with later lines already in again: the pane shrank.
    while (Now() - clicked < 30) {
        const LRESULT length = dunmo.PaneLength();
        if (length < before || length == 0) return (Now() - clicked) * 1000;
        Sleep(1);
    }
    return -1;
}

void MeasureClicks(const std::wstring& program, const std::wstring& folder, int count, bool posted) {
    Dunmo dunmo(program, folder);
    std::vector<double> latencies;
    int unanswered = 0;
    while (dunmo.Busy()) {
        Sleep(250);
        if (dunmo.PaneLength() == 0) continue;  // nothing to clear yet
        const double latency = ClearLatency(dunmo, posted);
        if (latency < 0) {
            ++unanswered;
        } else {
            latencies.push_back(latency);
        }
    }
    Sleep(200);
    const double idle = ClearLatency(dunmo, posted);
    std::printf("%6d files: %zu %s during the job, answered after median %.1f ms, "
                "max %.1f ms; %d unanswered within 30 s; idle afterwards %.1f ms\n",
                count, latencies.size(), posted ? "posted \"Cls\" commands" : "clicks on \"Cls\"",
                Percentile(latencies, 0.5), Percentile(latencies, 1.0), unanswered, idle);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {1000, 10000, 50000};

    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program = self;
    program = program.substr(0, program.find_last_of(L'\\'));
    program = program.substr(0, program.find_last_of(L'\\')) + L"\\Dunmo.exe";

    for (const int count : counts) {
        const std::wstring folder = MakeFolder(count);
        MeasureShowing(program, folder, count);
        MeasureClicks(program, folder, count, false);
        MeasureClicks(program, folder, count, true);
    }
    return 0;
}
