#include "support/LongPath.h"

#include <windows.h>

namespace {
constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kExtendedUnc = L"\\\\?\\UNC\\";

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
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
    if (StartsWith(fullPath, kExtended) || StartsWith(fullPath, L"\\\\.\\")) return std::wstring(fullPath);
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
