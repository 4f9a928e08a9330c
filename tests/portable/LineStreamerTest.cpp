#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/LineStreamer.h"

namespace {
using Counts = std::vector<std::size_t>;

// A pane on a fake clock: each insert takes `perLineMs` a line, each repaint
// `paintMs`, and the dialog spends `beforeMs` of each tick before the stream.
struct FakePane {
    double perLineMs = 0, paintMs = 0, beforeMs = 0;
    double now = 0;
    std::wstring text;
    Counts slices;
    bool repainted = false;
    LineStreamer stream{[this] { return now; },
                        {[this](const wchar_t* slice) {
                             const std::wstring added(slice);
                             slices.push_back(static_cast<std::size_t>(std::count(added.begin(), added.end(), L'\n')));
                             now += perLineMs * static_cast<double>(slices.back());
                             text += added;
                         },
                         [this] { repainted = true, now += paintMs; }}};

    // Ticks until every line is in; the ticks that repainted.
    Counts TickUntilShown(std::size_t& shownChars) {
        Counts repaints;
        for (std::size_t tick = 0; !stream.AllShown() && tick < 1000; ++tick) {
            const double start = now;
            now += beforeMs;
            repainted = false;
            shownChars += stream.Tick(start);
            if (repainted) repaints.push_back(tick);
        }
        return repaints;
    }
};

std::wstring Lines(std::size_t from, std::size_t count) {
    std::wstring lines;
    for (std::size_t i = from; i < from + count; ++i) lines += L"line " + std::to_wstring(i) + L"\r\n";
    return lines;
}
}  // namespace

// Each insert is sized from what the last one held and took: at most twice as
// many lines, never fewer than 16, the budget less what the tick spent before
// and the time of a repaint that is due. The pane repaints at the first tick,
// then once 200 ms have passed since the last repaint began, and with the last line.
TEST(LineStreamer, SlicesFollowTheMeasuredInsertTimeAndRepaintsAreThrottled) {
    const struct {
        const char* what;
        double perLineMs, paintMs, beforeMs;
        std::size_t lines;
        Counts slices, repaints;
    } kCases[] = {
        {"a fast pane: each insert doubles", 0.01, 0, 0, 1000, {64, 128, 256, 512, 40}, {0, 4}},
        {"1 ms a line: an insert takes the budget", 1, 0, 0, 200, {64, 45, 45, 45, 1}, {0, 4}},
        {"10 ms a line: no fewer than 16 lines", 10, 0, 0, 100, {64, 16, 16, 4}, {0, 3}},
        {"a due repaint's time is kept back", 1, 15, 0, 409, {64, 45, 45, 45, 45, 45, 45, 30, 45}, {0, 6, 8}},
        {"the tick's time before the insert counts", 1, 0, 15, 100, {64, 30, 6}, {0, 2}},
    };
    for (const auto& c : kCases) {
        FakePane pane;
        pane.perLineMs = c.perLineMs, pane.paintMs = c.paintMs, pane.beforeMs = c.beforeMs;
        const std::wstring lines = Lines(0, c.lines);
        pane.stream.Append(lines);
        std::size_t shown = 0;
        EXPECT_EQ(pane.TickUntilShown(shown), c.repaints) << c.what;
        EXPECT_EQ(pane.slices, c.slices) << c.what;
        EXPECT_EQ(pane.text, lines) << c.what;
        EXPECT_EQ(shown, lines.size()) << c.what;
    }
}

// Every character appended is counted once, as shown or as thrown away, also
// across the compaction of a long shown part; what follows a Clear is shown whole.
TEST(LineStreamer, EachCharacterIsCountedOnceShownOrClearedAcrossCompaction) {
    FakePane pane;
    pane.perLineMs = 0.001;
    std::wstring expected = Lines(0, 150000);
    pane.stream.Append(expected);
    std::size_t shown = 0;
    for (int tick = 0; tick < 11; ++tick) shown += pane.stream.Tick(pane.now);
    ASSERT_GT(shown, LineStreamer::kCompactChars);
    ASSERT_FALSE(pane.stream.AllShown());
    const std::wstring more = Lines(150000, 60000);
    pane.stream.Append(more);
    expected += more;
    pane.TickUntilShown(shown);
    EXPECT_EQ(shown, expected.size());
    EXPECT_TRUE(pane.text == expected);

    FakePane slow;
    slow.perLineMs = 10;
    slow.stream.Append(Lines(0, 100));
    const std::size_t shownFirst = slow.stream.Tick(0);
    EXPECT_EQ(shownFirst + slow.stream.Clear(), Lines(0, 100).size());
    EXPECT_EQ(slow.slices, Counts{64});
    EXPECT_TRUE(slow.stream.AllShown());
    EXPECT_EQ(slow.stream.Clear(), 0u);
    slow.stream.Append(L"after\r\n");
    EXPECT_EQ(slow.stream.Tick(slow.now), 7u);
    EXPECT_EQ(slow.text, Lines(0, 64) + L"after\r\n");
}
