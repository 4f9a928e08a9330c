#pragma once
// Paths as text, with no file system involved: the pieces that the long-path
// forms and the placing of sums-file names share. Paths here use "\" only.
#include <cstddef>
#include <string>
#include <string_view>

// The length of a path's root: 2 for a drive ("C:", followed by "\" or not),
// up to the end of the share for "\\server\share" (the whole text when it has
// no share yet); 0 for a path without one.
std::size_t RootLength(std::wstring_view path);

// Whether `path` is absolute: a drive's root folder ("C:\...") or a share
// with both its server and share named.
bool IsAbsolutePath(std::wstring_view path);

// Appends the names of `relative` to `path`, whose first `rootLength`
// characters are its root: each name after a "\", empty names and "." left
// out, ".." taking off the last name but never the root. Every other name is
// kept exactly, trailing dots and spaces included.
void AppendNames(std::wstring& path, std::size_t rootLength, std::wstring_view relative);

// The ordinary form of a path that may be in the extended-length form
// ("\\?\C:\..." or "\\?\UNC\server\share\...").
std::wstring OrdinaryForm(std::wstring_view path);

// `text` with each control character (U+0000 to U+001F, U+007F) and "<"
// written as "<XX>", two upper-case hex digits, so that a name cannot break or
// forge a result line.
std::wstring EscapedText(std::wstring_view text);

// The ordinary form as a result line shows it: EscapedText(OrdinaryForm(path)).
std::wstring DisplayForm(std::wstring_view path);
