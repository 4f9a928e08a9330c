#pragma once
// What the output pane means, free of platform calls so it is tested natively:
// the selection and caret over a PaneText, caret moves, word and line units,
// the scrolled view and the edit messages' semantics. The window (and what
// reads the pane for assistive tools) asks it; each change returns what the
// window must then do, so the model never paints, scrolls or places a caret.
//
// Points are client pixels: x from the pane's left edge (the text starts
// kMargin right of it, less the horizontal scroll), y from its top, one
// LineHeight a row, the first visible line in row 0.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "ui/PaneText.h"

// Widths of one line as it is drawn: Uniscribe in the window, a fixed-width
// fake in the tests. A line is given without its break.
class PaneLayout {
public:
    // Pixels from the line's start to its caret stop `offset` (0..size).
    virtual int X(std::wstring_view line, std::size_t offset) const = 0;
    // The caret stop nearest to `x` pixels from the line's start (0..size).
    virtual std::size_t StopAt(std::wstring_view line, int x) const = 0;
    virtual int Width(std::wstring_view line) const = 0;

protected:
    ~PaneLayout() = default;
};

// What a change asks of the window.
struct PaneChange {
    static constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);
    // The rows from this one down are to be painted again (0: the whole view).
    std::size_t repaintFrom = kNoRow;
    bool scrolled = false;          // the first line or the x offset moved
    bool caretMoved = false;        // the caret's point may have moved
    bool selectionChanged = false;  // the anchor or the caret moved
    bool textChanged = false;

    PaneChange& operator|=(const PaneChange& other);
};

// Units of the text at a position, as an assistive tool moves by them. They
// tile the text: each position but the end lies in exactly one of each kind.
enum class PaneUnit { Character, Word, Line, Document };

// Requests of the scroll bars, of either bar.
enum class PaneScroll { LineUp, LineDown, PageUp, PageDown, Top, Bottom, Thumb };

// Caret keys; Shift extends the selection, Control takes Home and End to the
// text's ends.
enum class PaneKey { Left, Right, Up, Down, PageUp, PageDown, Home, End };

class PaneModel {
public:
    static constexpr int kMargin = 2;  // pixels left of the text, as an edit leaves
    static constexpr int kWheelNotch = 120;
    static constexpr unsigned kWheelPage = ~0u;  // a wheel notch scrolls a page

    // Shows `text`, which must outlive the model or the next Attach, and
    // changes only through the model meanwhile.
    PaneModel(PaneText& text, const PaneLayout& layout) : text(&text), layout(layout) {}

    // Shows another text from its start, as if it had just been set.
    PaneChange Attach(PaneText& newText);
    const PaneText& Text() const { return *text; }

    // The selection runs from the anchor to the caret, where it grows.
    std::size_t Anchor() const { return anchor; }
    std::size_t Caret() const { return caret; }
    std::size_t SelectionStart() const { return std::min(anchor, caret); }
    std::size_t SelectionEnd() const { return std::max(anchor, caret); }
    bool Focused() const { return focused; }
    // Both clamped to the text.
    PaneChange Select(std::size_t newAnchor, std::size_t newCaret);
    PaneChange SelectAll() { return Select(0, text->Length()); }

    // [first, last) of `unit` holding `position`; at the text's end, empty there.
    // A word is a run of word characters or blanks within a line (see
    // PaneText::WordAt), a line break a unit of its own.
    std::pair<std::size_t, std::size_t> UnitAt(std::size_t position, PaneUnit unit) const;
    // [from, to) within the text, cut to at most `maxLength` units: costs what it returns.
    std::wstring TextOf(std::size_t from, std::size_t to, std::size_t maxLength = static_cast<std::size_t>(-1)) const;
    std::wstring LineText(std::size_t line) const;
    int LineWidth(std::size_t line) const { return layout.Width(LineText(line)); }

    // The view. Rows counts whole rows, at least 1; visible lines include a
    // partly shown last row.
    std::size_t FirstLine() const { return firstLine; }
    int XOffset() const { return xOffset; }
    std::size_t Rows() const { return static_cast<std::size_t>(std::max(1, clientHeight / lineHeight)); }
    std::pair<std::size_t, std::size_t> VisibleLines() const;
    int LineHeight() const { return lineHeight; }
    int CharWidth() const { return charWidth; }
    int ClientWidth() const { return clientWidth; }
    int ClientHeight() const { return clientHeight; }
    // What the scroll bars span: the lines, and the pixels of the widest line
    // known (from the longest line's characters and the widest drawn).
    int ContentWidth() const;
    // Widths the painting measured, for ContentWidth.
    void Drawn(int lineWidth) { widestSeen = std::max(widestSeen, lineWidth); }

    // The point of caret stop `position` (its row's top; two rows above the
    // view for a line above it), and the stop under a point, clamped to the text.
    std::pair<int, int> PointOf(std::size_t position) const;
    std::size_t StopAt(int x, int y) const;
    bool Outside(int x, int y) const { return x < 0 || y < 0 || x >= clientWidth || y >= clientHeight; }

    // Selected parts of a line as drawn: shown only while focused; `lineBreak`
    // when the selection goes on past the line's end.
    struct LineSelection {
        bool shown = false;
        std::size_t from = 0, to = 0;  // offsets within the line
        bool lineBreak = false;
    };
    LineSelection SelectionIn(std::size_t line) const;

    // Font metrics (they forget the widths drawn) and the client size.
    PaneChange SetMetrics(int newLineHeight, int newCharWidth);
    PaneChange Resize(int width, int height);
    PaneChange SetFocused(bool newFocused);

    PaneChange ScrollTo(std::ptrdiff_t line, int x);
    PaneChange ScrollIntoView(std::size_t position);
    PaneChange ScrollCaretIntoView() { return ScrollIntoView(caret); }
    // `trackPosition` is the bar's whole position for PaneScroll::Thumb.
    PaneChange Scroll(bool vertical, PaneScroll request, std::ptrdiff_t trackPosition = 0);
    // `delta` in kWheelNotch a notch, partial notches kept for the next.
    PaneChange Wheel(int delta, unsigned linesPerNotch);

    PaneChange Key(PaneKey key, bool shift, bool control);
    PaneChange Click(int x, int y, bool extend);
    PaneChange DoubleClick(int x, int y);
    // The pointer of a drag, held to the client area.
    PaneChange DragTo(int x, int y);
    // A drag held outside scrolls towards the pointer, faster the farther off.
    PaneChange DragScroll(int x, int y);

    // The edit messages. Positions as an edit takes them: negative means the
    // end, larger ones are clamped.
    PaneChange SetText(const wchar_t* newText, std::size_t count);
    // Up to capacity - 1 units and a terminator; returns the units copied.
    std::size_t GetText(std::size_t capacity, wchar_t* out) const;
    PaneChange ReplaceSelection(const wchar_t* inserted, std::size_t count);
    // EM_SETSEL: a start of -1 keeps the caret and drops the selection.
    PaneChange SetSelection(int start, int end);
    // EM_GETSEL's result: the start and end in 16 bits each, -1 past 0xFFFF.
    std::int64_t PackedSelection() const;
    // EM_LINEFROMCHAR: -1 is the selection's start.
    std::size_t LineFromChar(int position) const;
    // EM_LINEINDEX: -1 is the caret's line; -1 for a line past the last.
    std::ptrdiff_t LineIndex(int line) const;
    // EM_LINELENGTH: -1 counts the unselected units of the lines the selection touches.
    std::size_t LineLength(int position) const;

private:
    std::size_t Position(int value) const;
    std::size_t LastFirstLine() const;
    // Pixels from the start of its line to caret stop `position`.
    int XOf(std::size_t position) const;
    PaneChange MoveCaret(std::size_t to, bool extend);
    PaneChange VerticalMove(std::ptrdiff_t lines, bool extend);
    PaneChange Reset();

    PaneText* text;
    const PaneLayout& layout;
    std::size_t anchor = 0, caret = 0;
    std::size_t firstLine = 0;
    int xOffset = 0;
    int lineHeight = 16, charWidth = 8;
    // Widest line drawn or scrolled to, in pixels: the estimate from the
    // longest line in characters misses glyphs wider than the average.
    int widestSeen = 0;
    int clientWidth = 0, clientHeight = 0;
    // Where vertical caret moves aim, in pixels from a line's start; -1 unset.
    int goalX = -1;
    int wheelRest = 0;
    bool focused = false;
};
