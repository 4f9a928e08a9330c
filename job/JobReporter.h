#pragma once
// What a running job tells its window: result lines and progress units,
// gathered for a while and posted together (job/Messages.h), and single
// messages that a full queue must not lose. Worker thread only, but for the
// shared count of text not yet shown.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

class JobReporter {
public:
    using PostFunction = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

    // Every wait ends once `cancel` is set. `unshownChars` is the count the
    // window lowers as it shows text (HashJob::Shown).
    JobReporter(const std::atomic<std::int32_t>& cancel, std::atomic<std::int64_t>& unshownChars);

    // Reports of a new run go to `target` through `post`.
    void Begin(HWND target, PostFunction post);
    // Forgets what was gathered and not posted.
    void Clear();

    // Whole lines, each ending in "\r\n"; on a failed allocation it throws
    // and nothing is added.
    void AddLines(const std::wstring& lines) { pendingLines += lines; }
    void AddUnits(std::uint32_t units) { pendingUnits += units; }
    // Posts the gathered lines, then the gathered unit count. Waits first
    // while the window is more than kMaxUnshownChars behind, unless cancelled.
    void Flush();
    // Flush once kReportIntervalMs has passed since the last one.
    void FlushIfDue();
    // A failed post (a full queue) is retried after a short pause until it
    // succeeds or a cancel is requested; returns whether it was posted.
    bool PostReliably(UINT message, WPARAM wParam, LPARAM lParam);

private:
    const std::atomic<std::int32_t>& cancel;
    std::atomic<std::int64_t>& unshownChars;
    HWND target = nullptr;
    PostFunction post = &PostMessageW;
    std::wstring pendingLines;
    std::uint32_t pendingUnits = 0;
    DWORD lastReportTick = 0;
};
