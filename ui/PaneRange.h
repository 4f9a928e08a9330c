#pragma once
// Text ranges over the output pane's text, moved and expanded by the units a
// screen reader reads by, as UI Automation's text pattern defines them.
// Free of platform calls, so it is tested natively.
//
// Each unit splits the text into consecutive pieces:
// - Character: caret stops (PaneText::Next), a CRLF pair and a surrogate pair whole;
// - Word: the runs of PaneText::WordAt within a line, and each line break alone;
// - Line and Paragraph: the pane's lines, each with the break that ends it;
// - Document (and Format and Page, which have one piece here): the whole text.
// A unit's boundaries are the starts of its pieces and the end of the text.
// The end of the text holds no character or word; it is in the last line,
// which is empty when the text ends in a break.
//
// Every call costs O(log n) for a line and O(piece) for a character or word
// moved over, whatever the length of the text: nothing copies text.
#include <cstddef>

#include "ui/PaneText.h"

// The values of UI Automation's TextUnit.
enum class PaneUnit { Character, Format, Word, Line, Paragraph, Page, Document };

// [start, end) in UTF-16 positions, start <= end.
struct PaneRange {
    std::size_t start = 0, end = 0;
    bool operator==(const PaneRange& other) const { return start == other.start && end == other.end; }
};

// Within the text: a range kept across a change to a shorter text ends there.
PaneRange Clamped(const PaneText& text, PaneRange range);

// The piece of `unit` holding `position`; see above for the end of the text.
PaneRange EnclosingUnit(const PaneText& text, std::size_t position, PaneUnit unit);

// A range that is already a whole number of pieces stays; any other becomes
// the piece holding its start.
PaneRange ExpandToEnclosingUnit(const PaneText& text, PaneRange range, PaneUnit unit);

// Moves by `count` pieces, backwards when negative, and returns how many it
// moved (fewer at either end of the text). An empty range moves as a caret,
// from boundary to boundary. Any other is collapsed to the start of the piece
// holding its start, moved from piece to piece and becomes that one piece; it
// stays as it was when it cannot move at all.
int Move(const PaneText& text, PaneRange& range, PaneUnit unit, int count);

// Moves the end (or else the start) by `count` boundaries of `unit` and
// returns how many it moved. An endpoint moved past the other takes it along.
int MoveEndpoint(const PaneText& text, PaneRange& range, bool end, PaneUnit unit, int count);

// Puts the end (or else the start) at `position`; put past the other
// endpoint, it takes that along.
void SetEndpoint(PaneRange& range, bool end, std::size_t position);
