#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "ui/PaneModel.h"

namespace {
constexpr int kWidth = 8, kHeight = 16;  // of a character, of a row

class FixedWidth final : public PaneLayout {
public:
    int X(std::wstring_view, std::size_t offset) const override { return static_cast<int>(offset) * kWidth; }
    std::size_t StopAt(std::wstring_view line, int x) const override {
        return std::min<std::size_t>(static_cast<std::size_t>(std::max(x + kWidth / 2, 0) / kWidth), line.size());
    }
    int Width(std::wstring_view line) const override { return X(line, line.size()); }
};

// Ten columns and four rows, focused, showing `content` and then `count` times `line`.
struct Pane {
    explicit Pane(std::wstring content, const wchar_t* line = L"", int count = 0) {
        while (count-- > 0) content += line;
        model.SetMetrics(kHeight, kWidth), model.Resize(10 * kWidth, 4 * kHeight);
        model.SetText(content.data(), content.size()), model.SetFocused(true);
    }
    PaneText text;
    FixedWidth layout;
    PaneModel model{text, layout};
};
using Span = std::pair<std::size_t, std::size_t>;
using Act = std::function<void(PaneModel&)>;
// Lines at 0 and 22 (the digest at 28..60), "tail" at 75.
const wchar_t kResults[] = L"[MD5] X - C:\\a b.txt\r\n[MD5] 900150983CD24FB0D6963F7D28E17F72 - C:\\a b.txt\r\ntail";
}  // namespace

TEST(PaneModel, MovesSelectionsAndScrollingAsKeysMouseBarsAndEditMessagesAskThem) {
    // four: lines at 0 (6 units), 8 (2), 12 (8), 22 (1); many: 70,001 lines of 3 units.
    using K = PaneKey;
    using S = PaneScroll;
    enum Text { kFour, kPages, kResult, kMany, kWide };
    const auto keys = [](std::size_t at, std::vector<K> pressed, bool shift = false, bool control = false) -> Act {
        return [=](PaneModel& m) {
            m.Select(at, at);
            for (const K key : pressed) m.Key(key, shift, control);
        };
    };
    const auto sel = [](int start, int end) -> Act { return [=](PaneModel& m) { m.SetSelection(start, end); }; };
    const auto bar = [](bool vertical, S request, std::ptrdiff_t track = 0) -> Act {
        return [=](PaneModel& m) { m.ScrollTo(10, 0), m.Scroll(vertical, request, track); };
    };
    const struct { const char* what; Text text; Act act; Span selection; std::size_t firstLine; int xOffset; } kCases[] = {
        {"down keeps its column through a short line", kFour, keys(5, {K::Down, K::Down}), {17, 17}, 0, 0},
        {"control end", kFour, keys(3, {K::End}, false, true), {23, 23}, 0, 0},
        {"shift extends from the anchor", kFour, keys(2, {K::Right, K::Down}, true), {2, 10}, 0, 0},
        {"a plain move drops it", kFour, [](PaneModel& m) { m.Select(2, 10), m.Key(K::Left, false, false); }, {9, 9}, 0, 0},
        {"page down moves the view too", kPages, keys(6, {K::PageDown}), {26, 26}, 4, 0},
        {"results: down, end", kResult, keys(8, {K::Down, K::End}), {73, 73}, 0, 51 * kWidth + kWidth + 4 - 10 * kWidth},
        {"down, home, up", kResult, keys(8, {K::Down, K::Home, K::Up}), {0, 0}, 0, 0},
        {"all", kResult, sel(0, -1), {0, 79}, 0, 0}, {"a negative end: the end", kResult, sel(5, -7), {5, 79}, 0, 0},
        {"clamped", kResult, sel(1000, 99), {79, 79}, 0, 0},
        {"-1 keeps the caret", kResult, [](PaneModel& m) { m.SetSelection(5, 9), m.SetSelection(-1, 0); }, {9, 9}, 0, 0},
        {"a replace leaves the caret after its text", kResult, [](PaneModel& m) {
             m.SetSelection(28, 60), m.ReplaceSelection(L"X", 1);
             EXPECT_EQ(m.TextOf(0, 99), L"[MD5] X - C:\\a b.txt\r\n[MD5] X - C:\\a b.txt\r\ntail"); }, {29, 29}, 0, 0},
        {"a double-click: the digest", kResult, [](PaneModel& m) { m.DoubleClick(2 + 8 * kWidth, 24); }, {28, 60}, 0, 0},
        {"the caret into view", kMany, [](PaneModel& m) { m.Select(300, 300), m.ScrollCaretIntoView(); }, {300, 300}, 97, 0},
        {"bar: bottom, past 16 bits", kMany, bar(true, S::Bottom), {0, 0}, 69997, 0},
        {"line down", kMany, bar(true, S::LineDown), {0, 0}, 11, 0}, {"up", kMany, bar(true, S::LineUp), {0, 0}, 9, 0},
        {"page down", kMany, bar(true, S::PageDown), {0, 0}, 14, 0}, {"up", kMany, bar(true, S::PageUp), {0, 0}, 6, 0},
        {"top", kMany, bar(true, S::Top), {0, 0}, 0, 0}, {"thumb", kMany, bar(true, S::Thumb, 66000), {0, 0}, 66000, 0},
        {"wheel: two halves make a notch", kMany, [](PaneModel& m) { m.Wheel(-60, 3), m.Wheel(-60, 3); }, {0, 0}, 3, 0},
        {"a page a notch", kMany, [](PaneModel& m) { m.ScrollTo(6, 0), m.Wheel(120, PaneModel::kWheelPage); }, {0, 0}, 2, 0},
        {"a drag held 40 pixels below the bottom", kMany, [](PaneModel& m) {
             m.ScrollTo(3, 0), m.Click(1, 1, false);
             EXPECT_TRUE(m.Outside(40, 4 * kHeight + 40));
             m.DragScroll(40, 4 * kHeight + 40), m.DragTo(40, 4 * kHeight + 40); }, {9, 28}, 6, 0},
        {"end scrolls right as far as the widest glyphs known", kWide, [](PaneModel& m) {
             m.SetMetrics(kHeight, kWidth / 2), m.Key(K::End, false, false); },  // the caret's x and a narrow character
         {40, 40}, 0, 40 * kWidth + kWidth / 2 + 2 * PaneModel::kMargin - 10 * kWidth},
        {"bar: a page across", kWide, bar(false, S::PageDown), {0, 0}, 0, 9 * kWidth},
        {"a click in the scrolled view", kWide, [](PaneModel& m) { m.ScrollTo(0, 72), m.Click(2, 8, false); }, {9, 9}, 0, 72},
    };
    for (const auto& c : kCases) {
        const std::wstring texts[] = {L"abcdef\r\nab\r\nabcdefgh\r\nx", L"", kResults, L"", std::wstring(40, L'w') + L"\r\nv"};
        const int count = c.text == kPages ? 20 : c.text == kMany ? 70000 : 0;
        Pane pane(texts[c.text], c.text == kPages ? L"abc\r\n" : L"x\r\n", count);
        c.act(pane.model);
        EXPECT_EQ(std::make_tuple(pane.model.Anchor(), pane.model.Caret(), pane.model.FirstLine(), pane.model.XOffset()),
                  std::make_tuple(c.selection.first, c.selection.second, c.firstLine, c.xOffset)) << c.what;
    }
}

TEST(PaneModel, AnswersUnitsAndWhatIsToBePainted) {
    Pane pane(kResults), units(L"ab cd\r\n\r\nz");  // 5..6 a CRLF, 7..8 another
    PaneModel& model = pane.model;
    // The -1 forms ask about the selection; EM_GETSEL packs 16 bits each.
    const struct { int start, end; std::int64_t packed; std::size_t lineFromChar, lineLength; } kAnswers[] = {
        {3, 32, 3 | 32 << 16, 0, 3 + 51 - 10}, {-3, 2, 2 | 79 << 16, 0, 2}, {1000, 1000, 79 * 0x10001, 2, 4}};
    for (const auto& a : kAnswers) {
        model.SetSelection(a.start, a.end);
        EXPECT_EQ(std::make_tuple(model.PackedSelection(), model.LineFromChar(-1), model.LineLength(-1)),
                  std::make_tuple(a.packed, a.lineFromChar, a.lineLength)) << a.start;
    }
    EXPECT_EQ(std::make_tuple(model.LineIndex(-1), model.LineIndex(1), model.LineIndex(3), model.LineIndex(-7),
                              model.LineFromChar(27), model.LineLength(27)),
              std::make_tuple(75, 22, -1, -1, 1u, 51u));  // -1: the caret's line
    wchar_t out[5] = {L'?'};
    EXPECT_EQ(std::make_pair(model.GetText(0, out), out[0]), std::make_pair(std::size_t{0}, L'?'));
    EXPECT_EQ(model.GetText(5, out), 4u);
    EXPECT_EQ(std::wstring(out), L"[MD5");

    // Units tile the text: a line break is a word of its own.
    using U = PaneUnit;
    const struct { U unit; std::size_t at; Span span; } kUnits[] = {
        {U::Character, 6, {5, 7}}, {U::Character, 10, {10, 10}}, {U::Word, 2, {2, 3}}, {U::Word, 4, {3, 5}},
        {U::Word, 6, {5, 7}},      {U::Word, 7, {7, 9}},         {U::Line, 8, {7, 9}}, {U::Document, 4, {0, 10}}};
    for (const auto& u : kUnits) EXPECT_EQ(units.model.UnitAt(u.at, u.unit), u.span) << int(u.unit) << " at " << u.at;
    EXPECT_EQ(units.model.TextOf(2, 9, 3) + units.model.TextOf(8, 100), L" cd\nz");
    const struct { std::size_t anchor, caret, line; bool shown; std::size_t from, to; bool lineBreak; } kShown[] = {
        {3, 8, 0, true, 3, 5, true}, {8, 3, 1, true, 0, 0, true}, {3, 8, 2, false, 0, 0, false}, {3, 5, 0, true, 3, 5, false}};
    for (const auto& s : kShown) {
        const PaneModel::LineSelection shown = (units.model.Select(s.anchor, s.caret), units.model.SelectionIn(s.line));
        EXPECT_EQ(std::make_tuple(shown.shown, shown.from, shown.to, shown.lineBreak),
                  std::make_tuple(s.shown, s.from, s.to, s.lineBreak)) << s.anchor << "-" << s.caret << " in " << s.line;
    }

    // Ten lines in four rows, the caret at the end: the rows each change repaints.
    const struct { const char* what; std::function<PaneChange(PaneModel&)> change; std::size_t repaintFrom; } kChanges[] = {
        {"lines added below the view", [](PaneModel& m) { return m.ReplaceSelection(L"k\r\n", 3); }, PaneChange::kNoRow},
        {"a line changed in the view", [](PaneModel& m) { return m.SetSelection(7, 7), m.ReplaceSelection(L"k", 1); }, 2},
        {"a caret moved", [](PaneModel& m) { return m.SetSelection(1, 1); }, PaneChange::kNoRow},
        {"a selection made", [](PaneModel& m) { return m.SetSelection(1, 2); }, 0},
        {"one made unfocused", [](PaneModel& m) { return m.SetFocused(false), m.SetSelection(1, 2); }, PaneChange::kNoRow},
        {"the end cut above the view", [](PaneModel& m) {
             return m.ScrollTo(6, 0), m.SetSelection(10, -1), m.ReplaceSelection(L"", 0); }, 0}};
    for (const auto& c : kChanges) {
        Pane lines(L"", L"j\r\n", 9);
        lines.model.SetSelection(-2, -2);
        EXPECT_EQ(c.change(lines.model).repaintFrom, c.repaintFrom) << c.what;
    }
}
