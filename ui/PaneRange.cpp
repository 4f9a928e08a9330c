#include "ui/PaneRange.h"

#include <algorithm>

namespace {

enum class Kind { Character, Word, Line, Document };

Kind KindOf(PaneUnit unit) {
    switch (unit) {
    case PaneUnit::Character: return Kind::Character;
    case PaneUnit::Word: return Kind::Word;
    case PaneUnit::Line:
    case PaneUnit::Paragraph: return Kind::Line;
    default: return Kind::Document;  // one format throughout, and no pages
    }
}

std::size_t NextLineStart(const PaneText& text, std::size_t line) {
    return line + 1 < text.LineCount() ? text.LineStart(line + 1) : text.Length();
}

bool EndsInEmptyLine(const PaneText& text) { return text.LineStart(text.LineCount() - 1) == text.Length(); }

PaneRange Piece(const PaneText& text, std::size_t position, Kind kind) {
    const std::size_t length = text.Length();
    position = std::min(position, length);
    switch (kind) {
    case Kind::Character: {
        if (position == length) return {length, length};
        const std::size_t start = text.Previous(text.Next(position));  // the pair's start inside a pair
        return {start, text.Next(start)};
    }
    case Kind::Word: {
        const std::size_t line = text.LineOf(position), lineEnd = text.LineStart(line) + text.LineLength(line);
        if (position < lineEnd) {
            const auto [first, last] = text.WordAt(position);
            return {first, last};
        }
        return {lineEnd, NextLineStart(text, line)};  // the break, or the end of the text
    }
    case Kind::Line: {
        const std::size_t line = text.LineOf(position);
        return {text.LineStart(line), NextLineStart(text, line)};
    }
    case Kind::Document: break;
    }
    return {0, length};
}

// Moves `position` from boundary to boundary, `count` times or until an end of
// the text; `moved` receives the signed number of moves made.
std::size_t StepBoundaries(const PaneText& text, std::size_t position, Kind kind, int count, int& moved) {
    const bool forward = count > 0;
    const long long wanted = count;
    const auto steps = static_cast<std::size_t>(forward ? wanted : -wanted);
    const std::size_t length = text.Length();
    std::size_t done = 0;
    if (kind == Kind::Line) {
        // Boundary i is the start of line i, and past the last line the end of
        // the text, unless the last line starts there.
        const std::size_t lines = text.LineCount(), last = lines - EndsInEmptyLine(text);
        const std::size_t at = position == length ? last : text.LineOf(position);
        std::size_t to = at;
        if (forward) {
            to = at + std::min(steps, last - at);
            done = to - at;
        } else {
            // From inside a line the first step back reaches its start.
            const std::size_t from = at + (text.LineStart(at) != position);
            to = from - std::min(steps, from);
            done = from - to;
        }
        position = to < lines ? text.LineStart(to) : length;
    } else {
        for (; done < steps; ++done) {
            if (forward ? position == length : position == 0) break;
            position = forward ? Piece(text, position, kind).end : Piece(text, position - 1, kind).start;
        }
    }
    moved = static_cast<int>(forward ? static_cast<long long>(done) : -static_cast<long long>(done));
    return position;
}

bool IsBoundary(const PaneText& text, std::size_t position, Kind kind) {
    return position == text.Length() || Piece(text, position, kind).start == position;
}

}  // namespace

PaneRange Clamped(const PaneText& text, PaneRange range) {
    return {std::min(range.start, text.Length()), std::min(range.end, text.Length())};
}

PaneRange EnclosingUnit(const PaneText& text, std::size_t position, PaneUnit unit) {
    return Piece(text, position, KindOf(unit));
}

PaneRange ExpandToEnclosingUnit(const PaneText& text, PaneRange range, PaneUnit unit) {
    range = Clamped(text, range);
    const Kind kind = KindOf(unit);
    if (range.start < range.end && IsBoundary(text, range.start, kind) && IsBoundary(text, range.end, kind))
        return range;
    return Piece(text, range.start, kind);
}

int Move(const PaneText& text, PaneRange& range, PaneUnit unit, int count) {
    range = Clamped(text, range);
    const Kind kind = KindOf(unit);
    int moved = 0;
    if (range.start == range.end) {
        range.start = range.end = StepBoundaries(text, range.start, kind, count, moved);
        return moved;
    }
    std::size_t start = StepBoundaries(text, Piece(text, range.start, kind).start, kind, count, moved);
    // Pieces start at every boundary but the end of the text, where only an
    // empty last line starts.
    if (moved > 0 && start == text.Length() && !(kind == Kind::Line && EndsInEmptyLine(text))) {
        start = Piece(text, start - 1, kind).start;
        --moved;
    }
    if (moved != 0) range = Piece(text, start, kind);
    return moved;
}

int MoveEndpoint(const PaneText& text, PaneRange& range, bool end, PaneUnit unit, int count) {
    range = Clamped(text, range);
    int moved = 0;
    const std::size_t position = StepBoundaries(text, end ? range.end : range.start, KindOf(unit), count, moved);
    SetEndpoint(range, end, position);
    return moved;
}

void SetEndpoint(PaneRange& range, bool end, std::size_t position) {
    if (end) {
        range.end = position;
        range.start = std::min(range.start, position);
    } else {
        range.start = position;
        range.end = std::max(range.end, position);
    }
}
