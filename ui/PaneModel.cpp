#include "ui/PaneModel.h"

#include <climits>
#include <cstdint>
#include <new>

PaneChange& PaneChange::operator|=(const PaneChange& other) {
    repaintFrom = std::min(repaintFrom, other.repaintFrom);
    scrolled |= other.scrolled;
    caretMoved |= other.caretMoved;
    selectionChanged |= other.selectionChanged;
    textChanged |= other.textChanged;
    return *this;
}

PaneChange PaneModel::Attach(PaneText& newText) {
    text = &newText;
    return Reset();
}

PaneChange PaneModel::Reset() {
    anchor = caret = 0;
    firstLine = 0, xOffset = 0, widestSeen = 0;
    goalX = -1;
    PaneChange change;
    change.repaintFrom = 0;
    change.scrolled = change.caretMoved = change.selectionChanged = change.textChanged = true;
    return change;
}

PaneChange PaneModel::Select(std::size_t newAnchor, std::size_t newCaret) {
    newAnchor = std::min(newAnchor, text->Length()), newCaret = std::min(newCaret, text->Length());
    PaneChange change;
    if (newAnchor != anchor || newCaret != caret) {
        // The selection shows only while focused.
        if (focused && (anchor != caret || newAnchor != newCaret)) change.repaintFrom = 0;
        anchor = newAnchor, caret = newCaret;
        change.caretMoved = change.selectionChanged = true;
    }
    goalX = -1;
    return change;
}

std::pair<std::size_t, std::size_t> PaneModel::UnitAt(std::size_t position, PaneUnit unit) const {
    const std::size_t length = text->Length();
    if (position >= length) return {length, length};
    const std::size_t line = text->LineOf(position), start = text->LineStart(line),
                      end = start + text->LineLength(line),
                      next = line + 1 < text->LineCount() ? text->LineStart(line + 1) : length;
    switch (unit) {
    case PaneUnit::Character: {
        const std::size_t after = text->Next(position);  // the stop after a pair's second half is the pair's end
        return {text->Previous(after), after};
    }
    case PaneUnit::Word: return position >= end ? std::make_pair(end, next) : text->WordAt(position);
    case PaneUnit::Line: return {start, next};
    case PaneUnit::Document: break;
    }
    return {0, length};
}

std::wstring PaneModel::TextOf(std::size_t from, std::size_t to, std::size_t maxLength) const {
    from = std::min(from, text->Length());
    to = std::clamp(to, from, text->Length());
    return text->Text(from, std::min(to - from, maxLength));
}

std::wstring PaneModel::LineText(std::size_t line) const {
    return text->Text(text->LineStart(line), text->LineLength(line));
}

std::pair<std::size_t, std::size_t> PaneModel::VisibleLines() const {
    const auto rows = static_cast<std::size_t>(std::max(0, (clientHeight + lineHeight - 1) / lineHeight));
    return {firstLine, std::min(text->LineCount(), firstLine + rows)};
}

int PaneModel::ContentWidth() const {
    const std::size_t estimate = std::min<std::size_t>(text->LongestLine(), INT_MAX / 2 / charWidth);
    return std::max(static_cast<int>(estimate) * charWidth, widestSeen) + 2 * kMargin;
}

std::size_t PaneModel::LastFirstLine() const {
    return text->LineCount() > Rows() ? text->LineCount() - Rows() : 0;
}

int PaneModel::XOf(std::size_t position) const {
    const std::size_t line = text->LineOf(position), start = text->LineStart(line);
    return position == start ? 0 : layout.X(LineText(line), position - start);
}

std::pair<int, int> PaneModel::PointOf(std::size_t position) const {
    const std::size_t line = text->LineOf(position);
    const int row = line < firstLine ? -2 : static_cast<int>(std::min<std::size_t>(line - firstLine, INT_MAX / 2 / lineHeight));
    return {kMargin - xOffset + XOf(position), row * lineHeight};
}

std::size_t PaneModel::StopAt(int x, int y) const {
    const std::ptrdiff_t row = y < 0 ? -1 - (-1 - y) / lineHeight : y / lineHeight;
    const auto line = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(
        static_cast<std::ptrdiff_t>(firstLine) + row, 0, static_cast<std::ptrdiff_t>(text->LineCount()) - 1));
    return text->LineStart(line) + layout.StopAt(LineText(line), x - kMargin + xOffset);
}

PaneModel::LineSelection PaneModel::SelectionIn(std::size_t line) const {
    LineSelection selection;
    const std::size_t start = text->LineStart(line), end = start + text->LineLength(line);
    if (!focused || anchor == caret || SelectionStart() > end || SelectionEnd() <= start) return selection;
    selection.shown = true;
    selection.from = std::max(SelectionStart(), start) - start, selection.to = std::min(SelectionEnd(), end) - start;
    selection.lineBreak = SelectionEnd() > end && line + 1 < text->LineCount();
    return selection;
}

PaneChange PaneModel::SetMetrics(int newLineHeight, int newCharWidth) {
    lineHeight = std::max(newLineHeight, 1), charWidth = std::max(newCharWidth, 1);
    widestSeen = 0;
    PaneChange change = ScrollTo(static_cast<std::ptrdiff_t>(firstLine), xOffset);
    change.caretMoved = true;
    return change;
}

PaneChange PaneModel::Resize(int width, int height) {
    clientWidth = width, clientHeight = height;
    return ScrollTo(static_cast<std::ptrdiff_t>(firstLine), xOffset);
}

PaneChange PaneModel::SetFocused(bool newFocused) {
    focused = newFocused;
    PaneChange change;
    change.repaintFrom = 0;
    change.caretMoved = focused;
    return change;
}

PaneChange PaneModel::ScrollTo(std::ptrdiff_t line, int x) {
    const auto newFirst = static_cast<std::size_t>(
        std::clamp<std::ptrdiff_t>(line, 0, static_cast<std::ptrdiff_t>(LastFirstLine())));
    const int newX = std::clamp(x, 0, std::max(0, ContentWidth() - clientWidth));
    PaneChange change;
    if (newFirst != firstLine || newX != xOffset) {
        firstLine = newFirst, xOffset = newX;
        change.repaintFrom = 0;
        change.scrolled = change.caretMoved = true;
    }
    return change;
}

PaneChange PaneModel::ScrollIntoView(std::size_t position) {
    const std::size_t line = text->LineOf(position);
    std::size_t first = firstLine;
    if (line < first) first = line;
    else if (line >= first + Rows()) first = line - Rows() + 1;
    const int x = XOf(position), width = std::max(clientWidth - 2 * kMargin, 1);
    widestSeen = std::max(widestSeen, x + charWidth);
    int newX = xOffset;
    if (x < xOffset || x >= xOffset + width) newX = x < width ? 0 : x - width * 2 / 3;
    return ScrollTo(static_cast<std::ptrdiff_t>(first), newX);
}

PaneChange PaneModel::Scroll(bool vertical, PaneScroll request, std::ptrdiff_t trackPosition) {
    const int page = vertical ? static_cast<int>(Rows()) : std::max(clientWidth - charWidth, charWidth);
    const int step = vertical ? 1 : charWidth;
    const std::ptrdiff_t now = vertical ? static_cast<std::ptrdiff_t>(firstLine) : xOffset;
    std::ptrdiff_t to = now;
    switch (request) {
    case PaneScroll::LineUp: to = now - step; break;
    case PaneScroll::LineDown: to = now + step; break;
    case PaneScroll::PageUp: to = now - page; break;
    case PaneScroll::PageDown: to = now + page; break;
    case PaneScroll::Top: to = 0; break;
    case PaneScroll::Bottom: to = PTRDIFF_MAX / 2; break;
    case PaneScroll::Thumb: to = trackPosition; break;
    }
    if (vertical) return ScrollTo(to, xOffset);
    return ScrollTo(static_cast<std::ptrdiff_t>(firstLine), static_cast<int>(std::clamp<std::ptrdiff_t>(to, 0, INT_MAX)));
}

PaneChange PaneModel::Wheel(int delta, unsigned linesPerNotch) {
    const int lines = linesPerNotch == kWheelPage ? static_cast<int>(Rows()) : static_cast<int>(linesPerNotch);
    wheelRest += delta;
    const int notches = wheelRest / kWheelNotch;
    wheelRest -= notches * kWheelNotch;
    if (notches == 0 || lines <= 0) return {};
    return ScrollTo(static_cast<std::ptrdiff_t>(firstLine) - notches * lines, xOffset);
}

PaneChange PaneModel::Key(PaneKey key, bool shift, bool control) {
    const std::size_t line = text->LineOf(caret), rows = Rows();
    switch (key) {
    case PaneKey::Left: return MoveCaret(text->Previous(caret), shift);
    case PaneKey::Right: return MoveCaret(text->Next(caret), shift);
    case PaneKey::Up: return VerticalMove(-1, shift);
    case PaneKey::Down: return VerticalMove(1, shift);
    case PaneKey::PageUp: return VerticalMove(-static_cast<std::ptrdiff_t>(rows), shift);
    case PaneKey::PageDown: return VerticalMove(static_cast<std::ptrdiff_t>(rows), shift);
    case PaneKey::Home: return MoveCaret(control ? 0 : text->LineStart(line), shift);
    case PaneKey::End: return MoveCaret(control ? text->Length() : text->LineStart(line) + text->LineLength(line), shift);
    }
    return {};
}

PaneChange PaneModel::MoveCaret(std::size_t to, bool extend) {
    PaneChange change = Select(extend ? anchor : to, to);
    change |= ScrollCaretIntoView();
    return change;
}

PaneChange PaneModel::VerticalMove(std::ptrdiff_t lines, bool extend) {
    const int goal = goalX >= 0 ? goalX : XOf(caret);
    const auto line = static_cast<std::ptrdiff_t>(text->LineOf(caret));
    const auto target = static_cast<std::size_t>(
        std::clamp<std::ptrdiff_t>(line + lines, 0, static_cast<std::ptrdiff_t>(text->LineCount()) - 1));
    PaneChange change;
    // A page key moves the view with the caret.
    if (lines < -1 || lines > 1) change = ScrollTo(static_cast<std::ptrdiff_t>(firstLine) + lines, xOffset);
    change |= MoveCaret(text->LineStart(target) + layout.StopAt(LineText(target), goal), extend);
    goalX = goal;
    return change;
}

PaneChange PaneModel::Click(int x, int y, bool extend) {
    const std::size_t stop = StopAt(x, y);
    return Select(extend ? anchor : stop, stop);
}

PaneChange PaneModel::DoubleClick(int x, int y) {
    const auto [first, last] = text->WordAt(StopAt(x, y));
    return Select(first, last);
}

PaneChange PaneModel::DragTo(int x, int y) {
    return Select(anchor, StopAt(std::clamp(x, 0, std::max(clientWidth - 1, 0)),
                                 std::clamp(y, 0, std::max(clientHeight - 1, 0))));
}

PaneChange PaneModel::DragScroll(int x, int y) {
    std::ptrdiff_t lines = 0;
    if (y < 0) lines = -1 + y / lineHeight;
    if (y >= clientHeight) lines = 1 + (y - clientHeight) / lineHeight;
    int newX = xOffset;
    if (x < 0) newX -= charWidth * (1 - x / charWidth);
    if (x >= clientWidth) newX += charWidth * (1 + (x - clientWidth) / charWidth);
    return ScrollTo(static_cast<std::ptrdiff_t>(firstLine) + lines, newX);
}

PaneChange PaneModel::SetText(const wchar_t* newText, std::size_t count) {
    text->Clear();
    const PaneChange change = Reset();
    try {
        text->Append(newText, count);
    } catch (const std::bad_alloc&) {
        // The pane survives: it shows what fitted.
    }
    return change;
}

std::size_t PaneModel::GetText(std::size_t capacity, wchar_t* out) const {
    if (capacity == 0 || out == nullptr) return 0;
    const std::size_t count = std::min(capacity - 1, text->Length());
    text->CopyTo(0, count, out);
    out[count] = L'\0';
    return count;
}

PaneChange PaneModel::ReplaceSelection(const wchar_t* inserted, std::size_t count) {
    const std::size_t start = SelectionStart(), end = SelectionEnd(), changedLine = text->LineOf(start);
    try {
        text->Replace(start, end, inserted, count);
    } catch (const std::bad_alloc&) {
        // The change stops where it failed; the caret stays within the text.
    }
    anchor = caret = std::min(start + count, text->Length());
    goalX = -1;
    PaneChange change;
    change.caretMoved = change.selectionChanged = change.textChanged = true;
    // Only the rows from the first changed line down need painting again.
    if (changedLine < firstLine + Rows() + 1) change.repaintFrom = changedLine > firstLine ? changedLine - firstLine : 0;
    change |= ScrollTo(static_cast<std::ptrdiff_t>(firstLine), xOffset);  // a shorter text may end above the view
    return change;
}

std::size_t PaneModel::Position(int value) const {
    return value < 0 ? text->Length() : std::min<std::size_t>(static_cast<unsigned>(value), text->Length());
}

PaneChange PaneModel::SetSelection(int start, int end) {
    return start == -1 ? Select(caret, caret) : Select(Position(start), Position(end));
}

std::int64_t PaneModel::PackedSelection() const {
    const std::size_t start = SelectionStart(), end = SelectionEnd();
    return end > 0xFFFF ? -1 : static_cast<std::int64_t>(start | end << 16);
}

std::size_t PaneModel::LineFromChar(int position) const {
    return text->LineOf(position == -1 ? SelectionStart() : Position(position));
}

std::ptrdiff_t PaneModel::LineIndex(int line) const {
    const std::size_t index = line == -1 ? text->LineOf(caret) : line < 0 ? text->LineCount() : static_cast<std::size_t>(line);
    return index < text->LineCount() ? static_cast<std::ptrdiff_t>(text->LineStart(index)) : -1;
}

std::size_t PaneModel::LineLength(int position) const {
    if (position != -1) return text->LineLength(text->LineOf(Position(position)));
    const std::size_t first = text->LineOf(SelectionStart()), last = text->LineOf(SelectionEnd());
    return SelectionStart() - text->LineStart(first) + text->LineStart(last) + text->LineLength(last) - SelectionEnd();
}
