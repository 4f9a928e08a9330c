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

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The length of the root of an absolute path written with backslashes: 2 for
// "C:\...", that of "\\server\share" for a UNC path; 0 for any other path.
std::size_t RootLength(std::wstring_view path) {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\') return 2;
    if (!StartsWith(path, L"\\\\")) return 0;
    const std::size_t server = path.find(L'\\', 2);
    if (server == std::wstring_view::npos || server == 2) return 0;
    const std::size_t share = std::min(path.find(L'\\', server + 1), path.size());
    return share > server + 1 ? share : 0;
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
    if (RootLength(path) != 0) return path;
    if (StartsWith(path, L"\\\\")) return {};  // a server without a share
    const std::wstring current = CurrentDirectory();
    const std::size_t currentRoot = RootLength(current + L'\\');
    if (currentRoot == 0) return {};
    if (!path.empty() && path[0] == L'\\') return current.substr(0, currentRoot) + path;
    if (path.size() >= 2 && path[1] == L':') {
        const bool currentDrive = currentRoot == 2 && towupper(path[0]) == towupper(current[0]);
        const std::wstring base = currentDrive ? current : FullPath(path.substr(0, 2));
        return RootLength(base + L'\\') == 2 ? base + L'\\' + path.substr(2) : std::wstring();
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

std::wstring OrdinaryForm(std::wstring_view path) {
    if (StartsWith(path, kExtendedUnc)) return L"\\\\" + std::wstring(path.substr(kExtendedUnc.size()));
    if (StartsWith(path, kExtended)) return std::wstring(path.substr(kExtended.size()));
    return std::wstring(path);
}

std::wstring ExactPath(std::wstring_view path) {
    if (path.empty() || StartsWith(path, kExtended) || StartsWith(path, kDevice)) return std::wstring(path);
    const std::wstring text = AbsoluteText(std::wstring(path));
    const std::size_t root = RootLength(text);
    if (root == 0) return {};
    std::wstring exact = text.substr(0, root);
    for (std::size_t start = root + 1; start < text.size();) {
        const std::size_t end = std::min(text.find(L'\\', start), text.size());
        const std::wstring_view name(text.data() + start, end - start);
        if (name == L"..") {
            if (exact.size() > root) exact.resize(exact.rfind(L'\\'));
        } else if (!name.empty() && name != L".") {
            exact += L'\\';
            exact += name;
        }
        start = end + 1;
    }
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

std::wstring EscapedText(std::wstring_view text) {
    constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring shown;
    for (const wchar_t c : text) {
        if (c < 0x20 || c == 0x7F || c == L'<')
            shown += {L'<', kHex[c >> 4], kHex[c & 0xF], L'>'};
        else
            shown += c;
    }
    return shown;
}

std::wstring DisplayForm(std::wstring_view path) { return EscapedText(OrdinaryForm(path)); }
