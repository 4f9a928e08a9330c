#include "algorithms/DigestFind.h"

#include <cwctype>
#include <string>

#include "algorithms/Digest.h"

namespace {

std::wstring_view Trim(std::wstring_view text) {
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool SameHex(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    }
    return true;
}

// The digest of a result line "[TAG] HEX - ..." or a verdict line
// "[TAG VERDICT] HEX - ..."; empty for any other line.
std::wstring_view LineDigest(std::wstring_view line) {
    if (line.empty() || line[0] != L'[') return {};
    bool tagged = false;
    for (std::int32_t a = 0; a < kDigestCount && !tagged; ++a) {
        const std::wstring_view tag = Digest::Tag(static_cast<DigestAlgorithm>(a));
        tagged = line.substr(1, tag.size()) == tag && line.size() > tag.size() + 1 &&
                 (line[tag.size() + 1] == L']' || line[tag.size() + 1] == L' ');
    }
    const std::size_t close = line.find(L"] ");
    if (!tagged || close == std::wstring_view::npos) return {};
    const std::wstring_view rest = line.substr(close + 2);
    return rest.substr(0, rest.find(L' '));
}

}  // namespace

bool IsDigestText(std::wstring_view text) {
    text = Trim(text);
    bool digestLength = false;
    for (std::int32_t a = 0; a < kDigestCount; ++a)
        digestLength = digestLength || text.size() == Digest::HexDigits(static_cast<DigestAlgorithm>(a));
    return digestLength && text.find_first_not_of(L"0123456789abcdefABCDEF") == std::wstring_view::npos;
}

std::optional<std::size_t> FindDigestLine(std::size_t lineCount, std::size_t first, std::wstring_view digestText,
                                          const PaneLineFunction& lineAt) {
    const std::wstring_view digest = Trim(digestText);
    if (digest.empty() || lineCount == 0) return std::nullopt;
    first %= lineCount;
    for (std::size_t i = 0; i < lineCount; ++i) {
        const std::size_t line = (first + i) % lineCount;
        if (SameHex(LineDigest(lineAt(line)), digest)) return line;
    }
    return std::nullopt;
}
