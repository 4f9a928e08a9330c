#include "ui/LineStreamer.h"

#include <algorithm>
#include <utility>

LineStreamer::LineStreamer(std::function<double()> clockFunction, Sink paneSink)
    : clock(std::move(clockFunction)), sink(std::move(paneSink)) {}

std::size_t LineStreamer::Tick(double tickStart) {
    if (AllShown()) return 0;
    const bool repaint = tickStart - lastPaint >= kRepaintIntervalMs;
    const std::size_t count = InsertSlice(kTickBudgetMs - (repaint ? paintMs : 0) - (clock() - tickStart));
    if (repaint || AllShown()) {
        lastPaint = clock();
        sink.repaint();
        paintMs = clock() - lastPaint;
    }
    if (AllShown()) {
        pending.clear();
        shown = 0;
    } else if (shown >= kCompactChars && shown * 2 >= pending.size()) {
        pending.erase(0, shown);
        shown = 0;
    }
    return count;
}

std::size_t LineStreamer::InsertSlice(double budgetMs) {
    std::size_t end = shown, lines = 0;
    for (; lines < static_cast<std::size_t>(sliceLines); ++lines) {
        const std::size_t next = pending.find(L'\n', end + 1);
        if (next == std::wstring::npos) break;
        end = next;
    }
    end = lines == 0 ? pending.size() : end + 1;
    // The slice is ended in place for the insert; no copy of it is made.
    const wchar_t kept = pending[end];
    pending[end] = L'\0';
    const double before = clock();
    sink.insert(pending.c_str() + shown);
    const double took = std::max(clock() - before, 0.1);
    pending[end] = kept;
    const std::size_t count = end - shown;
    shown = end;
    // An insert costs a part that grows with the pane besides its lines: one
    // insert a tick, grown or shrunk from what it held until it takes the
    // tick's budget.
    sliceLines = std::clamp(static_cast<double>(std::max<std::size_t>(lines, 1)) *
                                std::min(2.0, std::max(budgetMs, 1.0) / took),
                            static_cast<double>(kMinSliceLines), 1e6);
    return count;
}

std::size_t LineStreamer::Clear() {
    const std::size_t dropped = pending.size() - shown;
    pending.clear();
    shown = 0;
    return dropped;
}
