#pragma once
// Finding a pasted digest among the result and verdict lines of the pane.
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

// Whether `text`, without surrounding spaces and tabs, is as many hex digits,
// in either case, as some digest has.
bool IsDigestText(std::wstring_view text);

// Gives line `index` of the pane without its line end; the view need only
// last until the next call.
using PaneLineFunction = std::function<std::wstring_view(std::size_t index)>;

// The index of the next result or verdict line ("[MD5] ...", "[SHA-1 OK] ...",
// not "[CHECK] ...") among the pane's `lineCount` lines whose digest equals
// `digestText` (trimmed as above) in any case. The search starts at line
// `first`, the first line after the selection, and wraps round to line 0, so
// that searching again from after a found line finds the next copy. Lines are
// read one at a time: the pane's text is never copied whole.
std::optional<std::size_t> FindDigestLine(std::size_t lineCount, std::size_t first, std::wstring_view digestText,
                                          const PaneLineFunction& lineAt);
