#pragma once
// What the drivers that time the real Dunmo.exe share: a clock, giving up,
// finding Dunmo.exe and finding its main window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "resources/resource.h"

inline double Now() {
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "bench driver: %s (error %lu)\n", what, GetLastError());
    std::exit(1);
}

// The Dunmo.exe of this build (the driver runs from <build>\bench), or the
// one DUNMO_BENCH_EXE names: another build's, for a before and after.
inline std::wstring DunmoPath() {
    if (const wchar_t* other = _wgetenv(L"DUNMO_BENCH_EXE"); other && *other) return other;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.resize(path.find_last_of(L'\\'));
    path.resize(path.find_last_of(L'\\'));
    return path + L"\\Dunmo.exe";
}

// The visible window of process `processId` that has the output pane.
struct Search {
    DWORD processId;
    HWND found;
};

inline BOOL CALLBACK FindMainDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window) || !GetDlgItem(window, IDC_OUTPUT)) return TRUE;
    search->found = window;
    return FALSE;
}
