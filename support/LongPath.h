#pragma once
// Paths longer than MAX_PATH reach the file system only in the extended-length
// form ("\\?\C:\..." or "\\?\UNC\server\share\..."), which the platform takes
// verbatim. Users and result lines see the ordinary form.
#include <string>
#include <string_view>

// The absolute form of `path`, resolved against the current directory, of any
// length; empty when it cannot be formed.
std::wstring FullPath(std::wstring_view path);

// The extended-length form of an absolute path such as FullPath returns: drive
// paths get "\\?\", UNC paths "\\?\UNC\"; a path already in that form, or a
// device path ("\\.\"), is returned as it is.
std::wstring ExtendedForm(std::wstring_view fullPath);

// ExtendedForm(FullPath(path)), or `path` itself when it cannot be resolved.
std::wstring ExtendedPath(std::wstring_view path);

// The ordinary form of a path that may be in the extended-length form.
std::wstring OrdinaryForm(std::wstring_view path);
