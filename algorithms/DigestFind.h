#pragma once
// Finding a pasted digest among the result and verdict lines of the pane.
#include <cstddef>
#include <optional>
#include <string_view>

// Whether `text`, without surrounding spaces and tabs, is 8, 32, 40 or 64 hex
// digits in either case.
bool IsDigestText(std::wstring_view text);

struct FoundLine {
    std::size_t start, end;  // the line's characters, without its "\r\n"
};

// The next result or verdict line ("[MD5] ...", "[SHA-1 OK] ...", not
// "[CHECK] ...") of `paneText` whose digest equals `digestText` (trimmed as
// above) in any case. The search starts at the first line that starts at or
// after `from`, the selection's end, and wraps round to the text's start, so
// that searching again from a found line's end finds the next copy.
std::optional<FoundLine> FindDigestLine(std::wstring_view paneText, std::wstring_view digestText,
                                        std::size_t from);
