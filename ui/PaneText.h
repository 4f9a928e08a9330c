#pragma once
// The text of the output pane, free of platform calls so it is tested natively.
// Held in fixed blocks plus a table of line starts: appending costs only what
// is appended, and a pane of a million lines never asks for one huge piece of
// address space, which a 32-bit process may no longer have in one piece.
//
// Positions count UTF-16 units from the start of the text. A line ends after
// each L'\n'; its length leaves out that break and a L'\r' just before it.
//
// All its memory comes from `memory` (which outlives the text), so that tests
// can refuse any allocation. One refused throws std::bad_alloc from Append or
// Replace and leaves a text whose lines match its characters: Append's text
// has a prefix of the appended piece; Replace's is unchanged, or holds the
// text before `from` and a prefix of `text` and what followed `to`.
#include <cstddef>
#include <memory_resource>
#include <string>
#include <utility>
#include <vector>

class PaneText {
public:
    explicit PaneText(std::size_t blockChars = std::size_t{1} << 20,
                      std::pmr::memory_resource* memory = std::pmr::new_delete_resource());

    std::size_t Length() const { return length; }
    // At least 1: an empty text, or one that ends in a break, ends in an empty line.
    std::size_t LineCount() const { return lineStarts.size(); }
    std::size_t LineStart(std::size_t line) const { return lineStarts[line]; }
    std::size_t LineLength(std::size_t line) const;
    // The line holding `position` (a break belongs to the line it ends).
    std::size_t LineOf(std::size_t position) const;
    // At least the length of the longest line; lines removed since the last
    // Clear may still count.
    std::size_t LongestLine() const { return longest; }

    wchar_t At(std::size_t position) const { return blocks[position / blockChars][position % blockChars]; }
    // [from, from + count), both within the text.
    std::wstring Text(std::size_t from, std::size_t count) const;
    void CopyTo(std::size_t from, std::size_t count, wchar_t* out) const;

    void Append(const wchar_t* text, std::size_t count);
    // Replaces [from, to) by `text`; costs what follows `to` besides the text.
    void Replace(std::size_t from, std::size_t to, const wchar_t* text, std::size_t count);
    void Clear();

    // The caret stop after or before `position`: a CRLF pair and a surrogate
    // pair are each passed over whole. Stays within the text.
    std::size_t Next(std::size_t position) const;
    std::size_t Previous(std::size_t position) const;
    // The run of word characters (anything but spaces, tabs and breaks) or of
    // blanks around `position`, within its line; at a line's end, the run
    // before it. Empty on an empty line.
    std::pair<std::size_t, std::size_t> WordAt(std::size_t position) const;

private:
    void Truncate(std::size_t newLength);

    std::size_t blockChars;
    // Each block holds blockChars units once full; only the last is not.
    std::pmr::vector<std::pmr::vector<wchar_t>> blocks;
    std::pmr::vector<std::size_t> lineStarts;
    std::size_t length = 0;
    std::size_t longest = 0;
};
