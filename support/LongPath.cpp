#include "support/LongPath.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

namespace {
constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kExtendedUnc = L"\\\\?\\UNC\\";
constexpr std::wstring_view kDevice = L"\\\\.\\";

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The current directory as it was set: resolving it again could change it.
std::wstring CurrentDirectory() {
    std::wstring current(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
        if (length == 0) return {};
        if (length < current.size()) {
            current.resize(length);
            return OrdinaryForm(current);
        }
        current.resize(length);  // too small: length counts the terminator
    }
}

// `path` made absolute as text, in backslash form; empty when it cannot be.
std::wstring AbsoluteText(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (StartsWith(path, kExtended) || StartsWith(path, kDevice)) return {};  // "//?/": left to the platform
    if (IsAbsolutePath(path)) return path;
    if (StartsWith(path, L"\\\\")) return {};  // a server without a share
    const std::wstring current = CurrentDirectory();
    if (!IsAbsolutePath(current + L'\\')) return {};
    const std::size_t currentRoot = RootLength(current);
    if (!path.empty() && path[0] == L'\\') return current.substr(0, currentRoot) + path;
    if (path.size() >= 2 && path[1] == L':') {
        const bool currentDrive = currentRoot == 2 && towupper(path[0]) == towupper(current[0]);
        const std::wstring base = currentDrive ? current : FullPath(path.substr(0, 2));
        return IsAbsolutePath(base + L'\\') && RootLength(base) == 2 ? base + L'\\' + path.substr(2) : std::wstring();
    }
    return current + L'\\' + path;
}
}  // namespace

std::wstring FullPath(std::wstring_view path) {
    const std::wstring input(path);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(input.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return {};
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);  // too small: length counts the terminator
    }
}

std::wstring ExtendedForm(std::wstring_view fullPath) {
    if (StartsWith(fullPath, kExtended) || StartsWith(fullPath, kDevice)) return std::wstring(fullPath);
    if (StartsWith(fullPath, L"\\\\")) return std::wstring(kExtendedUnc) + std::wstring(fullPath.substr(2));
    return std::wstring(kExtended) + std::wstring(fullPath);
}

std::wstring ExtendedPath(std::wstring_view path) {
    if (StartsWith(path, kExtended)) return std::wstring(path);
    const std::wstring full = FullPath(path);
    return full.empty() ? std::wstring(path) : ExtendedForm(full);
}

std::wstring ExactPath(std::wstring_view path) {
    if (path.empty() || StartsWith(path, kExtended) || StartsWith(path, kDevice)) return std::wstring(path);
    const std::wstring text = AbsoluteText(std::wstring(path));
    if (!IsAbsolutePath(text)) return {};
    const std::size_t root = RootLength(text);
    std::wstring exact = text.substr(0, root);
    AppendNames(exact, root, std::wstring_view(text).substr(root));
    // A root names its folder only with the separator; a trailing one stays.
    if (exact.size() == root || text.back() == L'\\') exact += L'\\';
    return ExtendedForm(exact);
}

std::wstring ResolvedPath(std::wstring_view path) {
    const std::wstring exact = ExactPath(path);
    if (!exact.empty() && ::GetFileAttributesW(exact.c_str()) != INVALID_FILE_ATTRIBUTES) return exact;
    // A name such as "nul.txt" resolves to a device, whose read may never end.
    const std::wstring resolved = ExtendedPath(path);
    return StartsWith(resolved, kDevice) && !StartsWith(path, kDevice) ? exact : resolved;
}
