#pragma once
// The output pane's lines as Uniscribe lays them out and draws them. Glyphs
// the font lacks (CJK in a Latin font) come from a fallback font, as an edit
// draws them, and count as wide as they are drawn.
#include <windows.h>

#include <usp10.h>

#include <cstddef>
#include <string_view>
#include <utility>

#include "ui/PaneModel.h"

// One line laid out in the DC's font.
class LineLayout {
public:
    LineLayout(HDC dc, std::wstring_view line);
    ~LineLayout();
    LineLayout(const LineLayout&) = delete;
    LineLayout& operator=(const LineLayout&) = delete;

    int Width() const;
    // Pixels from the line's start to the caret stop `position`.
    int X(std::size_t position) const;
    // The caret stop nearest to `x` pixels from the line's start.
    std::size_t StopAt(int x) const;
    // Draws the line in the DC's text colour, [from, to) in the selection's colours.
    void Draw(int x, int y, std::size_t from, std::size_t to) const;

private:
    std::size_t length;
    SCRIPT_STRING_ANALYSIS analysis = nullptr;
};

// The pane's lines in the window's font, each measured afresh.
class UniscribeLayout final : public PaneLayout {
public:
    explicit UniscribeLayout(HWND window) : window(window) {}
    HFONT Font() const { return font; }
    void SetFont(HFONT newFont) { font = newFont; }
    // Height and average width of a character of the font.
    std::pair<int, int> Metrics() const;

    int X(std::wstring_view line, std::size_t offset) const override;
    std::size_t StopAt(std::wstring_view line, int x) const override;
    int Width(std::wstring_view line) const override;

private:
    HWND window;
    HFONT font = nullptr;
};
