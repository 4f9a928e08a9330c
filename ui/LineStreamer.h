#pragma once
// The worker's result lines on their way into the output pane, shown a tick at
// a time. Free of platform calls, so its timing rules are tested natively: the
// clock and the pane come in from outside.
//
// An insert costs the pane only the characters inserted, so a tick normally
// puts everything pending in with one insert. Its size still follows the
// measured time of the last ones, so that a slow insert cannot hold the
// window past its budget. The pane repaints at most every kRepaintIntervalMs,
// and when the last line is in: the worker's lines come in many small posts,
// and the stream then costs a repaint per interval rather than one per post.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class LineStreamer {
public:
    static constexpr double kTickBudgetMs = 45;
    static constexpr double kRepaintIntervalMs = 200;
    static constexpr std::size_t kFirstSliceLines = 64;
    static constexpr std::size_t kMinSliceLines = 16;
    // The shown part of the pending text is dropped once it is this long.
    static constexpr std::size_t kCompactChars = std::size_t{1} << 20;

    struct Sink {
        // Puts `text` (whole lines, null-terminated) at the end of the pane
        // without repainting it. Called at most once a tick.
        std::function<void(const wchar_t* text)> insert;
        // Brings the end of the pane into view and repaints it now.
        std::function<void()> repaint;
    };

    // `clock` reads milliseconds from any fixed origin.
    LineStreamer(std::function<double()> clock, Sink sink);

    void Append(std::wstring_view lines) { pending.append(lines); }
    bool AllShown() const { return shown == pending.size(); }
    // Shows pending lines in one insert sized to what is left of the budget of
    // a tick that began at `tickStart` (a reading of the clock), keeping back
    // the time of a repaint that is due. Returns the characters shown.
    std::size_t Tick(double tickStart);
    // Throws away the lines not yet shown; returns their characters.
    std::size_t Clear();

private:
    std::size_t InsertSlice(double budgetMs);

    std::function<double()> clock;
    Sink sink;
    // Lines before `shown` are in the pane already.
    std::wstring pending;
    std::size_t shown = 0;
    // Lines of the next insert; milliseconds of the last repaint, and when
    // that repaint began.
    double sliceLines = kFirstSliceLines;
    double paintMs = 0;
    double lastPaint = -1e9;
};
