#include "support/PathText.h"

#include <algorithm>

namespace {
constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kExtendedUnc = L"\\\\?\\UNC\\";

bool StartsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
}  // namespace

std::size_t RootLength(std::wstring_view path) {
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') return 2;
    if (!StartsWith(path, L"\\\\")) return 0;
    const std::size_t server = path.find(L'\\', 2);
    return server == std::wstring_view::npos ? path.size() : std::min(path.find(L'\\', server + 1), path.size());
}

bool IsAbsolutePath(std::wstring_view path) {
    const std::size_t root = RootLength(path);
    if (root == 0) return false;
    if (path[1] == L':') return path.size() > 2 && path[2] == L'\\';
    const std::size_t server = path.find(L'\\', 2);
    return server != std::wstring_view::npos && server > 2 && root > server + 1;
}

void AppendNames(std::wstring& path, std::size_t rootLength, std::wstring_view relative) {
    for (std::size_t start = 0; start < relative.size();) {
        const std::size_t end = std::min(relative.find(L'\\', start), relative.size());
        const std::wstring_view name = relative.substr(start, end - start);
        if (name == L"..") {
            const std::size_t cut = path.find_last_of(L'\\');
            if (cut != std::wstring::npos && cut >= rootLength) path.resize(cut);
        } else if (!name.empty() && name != L".") {
            path += L'\\';
            path += name;
        }
        start = end + 1;
    }
}

std::wstring OrdinaryForm(std::wstring_view path) {
    if (StartsWith(path, kExtendedUnc)) return L"\\\\" + std::wstring(path.substr(kExtendedUnc.size()));
    if (StartsWith(path, kExtended)) return std::wstring(path.substr(kExtended.size()));
    return std::wstring(path);
}

std::wstring EscapedText(std::wstring_view text) {
    constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring shown;
    shown.reserve(text.size());
    for (const wchar_t c : text) {
        if (c < 0x20 || c == 0x7F || c == L'<')
            shown += {L'<', kHex[c >> 4], kHex[c & 0xF], L'>'};
        else
            shown += c;
    }
    return shown;
}

std::wstring DisplayForm(std::wstring_view path) { return EscapedText(OrdinaryForm(path)); }
