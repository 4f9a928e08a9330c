#pragma once
// Paths longer than MAX_PATH reach the file system only in the extended-length
// form ("\\?\C:\..." or "\\?\UNC\server\share\..."), which the platform takes
// verbatim. Users and result lines see the ordinary form.
#include <string>
#include <string_view>

#include "support/PathText.h"

// The absolute form of `path`, resolved against the current directory, of any
// length; empty when it cannot be formed.
std::wstring FullPath(std::wstring_view path);

// The extended-length form of an absolute path such as FullPath returns: drive
// paths get "\\?\", UNC paths "\\?\UNC\"; a path already in that form, or a
// device path ("\\.\"), is returned as it is.
std::wstring ExtendedForm(std::wstring_view fullPath);

// ExtendedForm(FullPath(path)), or `path` itself when it cannot be resolved.
// The platform's resolution strips trailing dots and spaces and turns device
// names into devices, so this may name another item than `path`.
std::wstring ExtendedPath(std::wstring_view path);

// The extended-length form of `path` resolved as text, so that every name is
// kept exactly, trailing dots and spaces included: "/" is read as "\", "."
// and ".." are resolved, a relative path is taken against the current
// directory, "C:x" against drive C's and "\x" against the current drive's
// root. A path already in that form, or a device path, is returned as it is;
// empty when it cannot be formed.
std::wstring ExactPath(std::wstring_view path);

// What a typed path or a command-line argument names: ExactPath(path) when
// that names an item, otherwise ExtendedPath(path); but never a device that
// `path` did not name as one (ExactPath(path) is returned instead).
std::wstring ResolvedPath(std::wstring_view path);
