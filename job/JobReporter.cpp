#include "job/JobReporter.h"

#include <memory>
#include <new>
#include <utility>

#include "job/Messages.h"
#include "support/WideString.h"

namespace {

// How long the worker waits before posting again into a full message queue.
constexpr DWORD RetryPauseMs = 10;

}  // namespace

JobReporter::JobReporter(const std::atomic<std::int32_t>& cancelFlag, std::atomic<std::int64_t>& unshown)
    : cancel(cancelFlag), unshownChars(unshown) {}

void JobReporter::Begin(HWND window, PostFunction postFunction) {
    target = window;
    post = postFunction;
    lastReportTick = ::GetTickCount();
}

void JobReporter::Clear() {
    target = nullptr;
    pendingLines.clear();
    pendingUnits = 0;
}

void JobReporter::Flush() {
    if (!pendingLines.empty()) {
        // Keeps memory bounded on huge folders: the pane takes lines more
        // slowly than the worker makes them.
        while (unshownChars.load() > kMaxUnshownChars && !cancel && ::IsWindow(target)) ::Sleep(RetryPauseMs);
        const auto count = static_cast<std::int64_t>(pendingLines.size());
        std::unique_ptr<WideString> lines;
        try {
            lines = std::make_unique<WideString>(std::move(pendingLines));
        } catch (const std::bad_alloc&) {
            // Out of memory: these lines are dropped; the job goes on.
        }
        pendingLines.clear();
        // The receiver owns the lines once the post has succeeded, not before.
        unshownChars += count;
        if (lines && PostReliably(UM_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(lines.get())))
            lines.release();
        else
            unshownChars -= count;
    }
    if (pendingUnits != 0) PostReliably(UM_PROGRESS_STEP, std::exchange(pendingUnits, 0), 0);
    lastReportTick = ::GetTickCount();
}

void JobReporter::FlushIfDue() {
    if (::GetTickCount() - lastReportTick >= kReportIntervalMs) Flush();
}

bool JobReporter::PostReliably(UINT message, WPARAM wParam, LPARAM lParam) {
    // A full queue (10,000 messages on Windows) refuses posts until the window
    // catches up. Only wait here: the UI thread may itself be waiting in
    // Finish, which sets the cancel flag first.
    while (!post(target, message, wParam, lParam)) {
        if (cancel || !::IsWindow(target)) return false;
        ::Sleep(RetryPauseMs);
    }
    return true;
}
