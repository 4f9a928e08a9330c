#include "algorithms/SumsFile.h"

#include <algorithm>
#include <cstring>

#include "algorithms/SumsLayouts.h"
#include "support/PathText.h"

using namespace sumsfile;

namespace {

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

std::wstring_view BareName(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

namespace sumsfile {

// ---- Digests ----

// A word that may name a digest: a letter, then letters, digits, "-", "_"
// or "/", 32 at most ("SHA3-256", "BLAKE2b", "SHA512/256").
bool IsTagWord(std::wstring_view word) {
    if (word.empty() || word.size() > 32 || !((word[0] >= L'A' && word[0] <= L'Z') || (word[0] >= L'a' && word[0] <= L'z')))
        return false;
    for (wchar_t c : word) {
        const wchar_t u = AsciiUpper(c);
        if (!((u >= L'A' && u <= L'Z') || IsDigit(c) || c == L'-' || c == L'_' || c == L'/')) return false;
    }
    return true;
}

namespace {

// A tag in upper case without "-", and "SHA2" before a three-digit length
// read as "SHA": "SHA256", "SHA-256" and "SHA2-256" are one digest, while
// "SHA512-256", "SHA3-256" and "SHA-224" stay apart from every other.
std::wstring CanonicalTag(std::wstring_view tag) {
    std::wstring canon;
    for (wchar_t c : tag) {
        if (c != L'-') canon += AsciiUpper(c);
    }
    if (canon.size() == 7 && StartsWith(canon, L"SHA2") && IsDigit(canon[4]) && IsDigit(canon[5]) && IsDigit(canon[6]))
        canon.erase(3, 1);
    return canon;
}

}  // namespace

std::optional<DigestAlgorithm> DigestOfTag(std::wstring_view tag) {
    const std::wstring canon = CanonicalTag(tag);
    for (std::int32_t a = 0; a < kDigestCount; ++a) {
        if (CanonicalTag(Digest::Tag(static_cast<DigestAlgorithm>(a))) == canon) return static_cast<DigestAlgorithm>(a);
    }
    return std::nullopt;
}

std::optional<DigestAlgorithm> DigestOfLength(std::size_t digits) {
    for (std::int32_t a = 0; a < kDigestCount; ++a) {
        if (Digest::HexDigits(static_cast<DigestAlgorithm>(a)) == digits) return static_cast<DigestAlgorithm>(a);
    }
    return std::nullopt;
}

// The most hex digits kept of an entry being gathered: past the longest
// digest only their count matters.
std::size_t MostHexDigits() {
    std::size_t most = 0;
    for (std::int32_t a = 0; a < kDigestCount; ++a) most = std::max(most, Digest::HexDigits(static_cast<DigestAlgorithm>(a)));
    return most;
}

}  // namespace sumsfile

namespace {

// ---- Names ----

struct NameRule {
    std::wstring_view pattern;  // in any case; a "*" at either end matches any text
    std::wstring_view digest;   // the tag of lines that have none; empty: told by their length
    bool extension = false;     // "*<digest extension>": may hold a bare digest of the sibling
};
// The first rule that matches decides. The README lists these.
constexpr NameRule kNameRules[] = {
    {L"CHECKSUM.MD5*", L"MD5"},
    {L"CHECKSUM.SHA1*", L"SHA1"},
    {L"CHECKSUM.SHA256*", L"SHA256"},
    {L"CHECKSUM.SHA512*", L"SHA512"},
    {L"*.md5", L"MD5", true},
    {L"*.md5sum", L"MD5", true},
    {L"*.sha1", L"SHA1", true},
    {L"*.sha1sum", L"SHA1", true},
    {L"*.sha256", L"SHA256", true},
    {L"*.sha256sum", L"SHA256", true},
    {L"*.sha512", L"SHA512", true},
    {L"*.sha512sum", L"SHA512", true},
    {L"*.sfv", L"CRC32"},
    {L"MD5SUMS", L"MD5"},
    {L"MD5SUMS.txt", L"MD5"},
    {L"SHA1SUMS", L"SHA1"},
    {L"SHA1SUMS.txt", L"SHA1"},
    {L"SHA256SUMS", L"SHA256"},
    {L"SHA256SUMS.txt", L"SHA256"},
    {L"SHA512SUMS", L"SHA512"},
    {L"SHA512SUMS.txt", L"SHA512"},
    {L"B2SUMS", L"BLAKE2b"},
    {L"B2SUMS.txt", L"BLAKE2b"},
    {L"SHASUMS256.txt", L"SHA256"},
    {L"sha256sum.txt", L"SHA256"},
    {L"sha512sum.txt", L"SHA512"},
    {L"*CHECKSUM", L""},
    {L"*checksums.txt", L""},
};

bool Matches(std::wstring_view name, std::wstring_view pattern) {
    if (pattern.front() == L'*') {
        pattern.remove_prefix(1);
        return name.size() >= pattern.size() && EqualsNoCase(name.substr(name.size() - pattern.size()), pattern);
    }
    if (pattern.back() == L'*') {
        pattern.remove_suffix(1);
        return EqualsNoCase(name.substr(0, pattern.size()), pattern);
    }
    return EqualsNoCase(name, pattern);
}

const NameRule* FindNameRule(std::wstring_view fileName) {
    const std::wstring_view name = BareName(fileName);
    for (const NameRule& rule : kNameRules) {
        if (Matches(name, rule.pattern)) return &rule;
    }
    return nullptr;
}

}  // namespace

SumsName sumsfile::ReadName(std::wstring_view fileName) {
    SumsName name;
    if (const NameRule* rule = FindNameRule(fileName)) {
        name.digest = rule->digest;
        name.sfv = DigestOfTag(rule->digest) == DigestCrc32;
    }
    name.sibling = SumsSiblingName(fileName);
    return name;
}

namespace {

// ---- Decoding ----

void AppendCodePoint(std::wstring& text, char32_t c) {
    if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
        c -= 0x10000;
        text += static_cast<wchar_t>(0xD800 + (c >> 10));
        text += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
        text += static_cast<wchar_t>(c);
    }
}

// For a UTF-8 lead byte: how many continuation bytes follow, and the range
// the first of them must lie in, which rules out overlong forms, surrogates
// and values past U+10FFFF. -1 for a byte that cannot lead.
int Utf8Continuations(unsigned char lead, unsigned char& low, unsigned char& high) {
    low = 0x80;
    high = 0xBF;
    if (lead < 0x80) return 0;
    if (lead >= 0xC2 && lead <= 0xDF) return 1;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    if (lead >= 0xF0 && lead <= 0xF4) return 3;
    return -1;
}

// Invalid sequences become U+FFFD; a line holding one is then not understood.
std::wstring DecodeUtf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i++]);
        unsigned char low, high;
        const int count = Utf8Continuations(lead, low, high);
        if (count < 0) {
            text += L'\xFFFD';
            continue;
        }
        char32_t c = count == 0 ? lead : lead & (0x3F >> count);
        int done = 0;
        for (; done < count && i < bytes.size(); ++done, ++i) {
            const auto next = static_cast<unsigned char>(bytes[i]);
            if (next < low || next > high) break;
            c = (c << 6) | (next & 0x3F);
            low = 0x80;
            high = 0xBF;
        }
        AppendCodePoint(text, done == count ? c : U'\xFFFD');
    }
    return text;
}

int Utf16Unit(const char* bytes, bool bigEndian) {
    const auto first = static_cast<unsigned char>(bytes[0]), second = static_cast<unsigned char>(bytes[1]);
    return bigEndian ? first << 8 | second : second << 8 | first;
}

std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::wstring text;
    text.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) text += static_cast<wchar_t>(Utf16Unit(&bytes[i], bigEndian));
    if (bytes.size() % 2 != 0) text += L'\xFFFD';  // half a code unit at the file's end
    return text;
}

}  // namespace

bool IsSumsFileName(std::wstring_view fileName) { return FindNameRule(fileName) != nullptr; }

std::wstring SumsSiblingName(std::wstring_view fileName) {
    const NameRule* rule = FindNameRule(fileName);
    if (rule == nullptr || !rule->extension) return {};
    const std::wstring_view name = BareName(fileName);
    std::wstring sibling(name.substr(0, name.size() - (rule->pattern.size() - 1)));
    return sibling == L"." || sibling == L".." ? std::wstring() : sibling;
}

void SumsEncodingDetector::Decide(SumsEncoding encoding) {
    decided = true;
    result = encoding;
}

void SumsEncodingDetector::Feed(const void* bytes, std::size_t count) {
    if (decided) return;
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < count && headCount < 3; ++i) head[headCount++] = p[i];
    if (headCount >= 2 && head[0] == 0xFF && head[1] == 0xFE) return Decide(SumsEncoding::Utf16Le);
    if (headCount >= 2 && head[0] == 0xFE && head[1] == 0xFF) return Decide(SumsEncoding::Utf16Be);
    if (headCount == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) return Decide(SumsEncoding::Utf8);
    for (std::size_t i = 0; i < count && pending >= 0; ++i) {
        if (pending == 0) {
            if (p[i] < 0x80) continue;  // most of a sums file
            pending = Utf8Continuations(p[i], low, high);
        } else if (p[i] >= low && p[i] <= high) {
            --pending;
            low = 0x80;
            high = 0xBF;
        } else {
            pending = -1;
        }
    }
    // Not before two bytes are in: they may yet be a UTF-16 mark.
    if (pending < 0 && headCount >= 2) Decide(SumsEncoding::Ansi);
}

SumsEncoding SumsEncodingDetector::Result() const {
    if (decided) return result;
    if (headCount >= 2 && head[0] == 0xFF && head[1] == 0xFE) return SumsEncoding::Utf16Le;
    if (headCount >= 2 && head[0] == 0xFE && head[1] == 0xFF) return SumsEncoding::Utf16Be;
    return pending == 0 ? SumsEncoding::Utf8 : SumsEncoding::Ansi;  // a cut sequence is not valid
}

SumsLine ParseSumsLine(std::wstring_view line, std::wstring_view sumsFileName) {
    SumsReader::Lines lines(sumsFileName);
    SumsLine parsed;
    const SumsReader::Sink sink = [&](const SumsLine& taken) { parsed = taken; };
    lines.Take(line, 1, false, sink);
    lines.End(sink);
    return parsed;
}

SumsReader::SumsReader(SumsEncoding encoding, std::wstring_view sumsFileName, AnsiDecoder ansi)
    : encoding(encoding), ansi(std::move(ansi)), lines(std::make_unique<Lines>(sumsFileName)) {}

SumsReader::~SumsReader() = default;

void SumsReader::Append(const char* bytes, std::size_t count) {
    if (overLong) return;
    // Room for a byte-order mark and a CR, which EndLine drops before it checks.
    if (line.size() + count > kMaxSumsLineBytes + 5) {
        overLong = true;
        line.clear();
        return;
    }
    line.append(bytes, count);
}

void SumsReader::EndLine(const Sink& sink) {
    ++number;
    std::string_view raw = line;
    const bool utf16 = encoding == SumsEncoding::Utf16Le || encoding == SumsEncoding::Utf16Be;
    const bool big = encoding == SumsEncoding::Utf16Be;
    if (number == 1) {
        const std::string_view mark = encoding == SumsEncoding::Utf8 ? "\xEF\xBB\xBF"
                                      : utf16                        ? (big ? "\xFE\xFF" : "\xFF\xFE")
                                                                     : "";
        if (!mark.empty() && raw.substr(0, mark.size()) == mark) raw.remove_prefix(mark.size());
    }
    // A NUL-ended line keeps its CR: its name may end in one.
    const std::string_view cr = !utf16 ? std::string_view("\r") : big ? std::string_view("\0\r", 2) : std::string_view("\r\0", 2);
    if (terminator != 0 && raw.size() >= cr.size() && raw.substr(raw.size() - cr.size()) == cr)
        raw.remove_suffix(cr.size());
    if (!overLong && raw.size() <= kMaxSumsLineBytes) {
        const std::wstring text = utf16 ? DecodeUtf16(raw, big)
                                  : encoding == SumsEncoding::Utf8 ? DecodeUtf8(raw)
                                                                   : ansi(raw);
        lines->Take(text, number, terminator == 0, sink);
    } else {
        lines->TakeUnreadable(number, sink);
    }
    line.clear();
    overLong = false;
}

void SumsReader::Feed(const void* bytes, std::size_t count, const Sink& sink) {
    const char* p = static_cast<const char*>(bytes);
    const char* const end = p + count;
    // Whichever of LF and NUL first ends a line ends every line.
    const auto ends = [this](int unit) { return terminator < 0 ? unit == '\n' || unit == 0 : unit == terminator; };
    if (encoding != SumsEncoding::Utf16Le && encoding != SumsEncoding::Utf16Be) {
        while (p < end) {
            const char* stop = terminator < 0 ? std::find_if(p, end, [&](char c) { return ends(c); })
                                              : static_cast<const char*>(std::memchr(p, terminator, static_cast<std::size_t>(end - p)));
            if (stop == nullptr) stop = end;
            Append(p, static_cast<std::size_t>(stop - p));
            if (stop == end) break;
            terminator = *stop;
            EndLine(sink);
            p = stop + 1;
        }
        return;
    }
    const bool big = encoding == SumsEncoding::Utf16Be;
    if (hasCarry && p < end) {
        const char unit[2] = {carry, *p++};
        hasCarry = false;
        if (ends(Utf16Unit(unit, big))) {
            terminator = Utf16Unit(unit, big);
            EndLine(sink);
        } else {
            Append(unit, 2);
        }
    }
    while (p < end) {
        const char* q = p;
        while (end - q >= 2 && !ends(Utf16Unit(q, big))) q += 2;
        Append(p, static_cast<std::size_t>(q - p));
        if (end - q >= 2) {
            terminator = Utf16Unit(q, big);
            EndLine(sink);
            p = q + 2;
        } else {
            hasCarry = q < end;
            if (hasCarry) carry = *q;
            p = end;
        }
    }
}

void SumsReader::Finish(const Sink& sink) {
    if (hasCarry) Append(&carry, 1);
    hasCarry = false;
    if (!line.empty() || overLong) EndLine(sink);
    lines->End(sink);
}

// ---- Paths ----

SumsEntryPath ResolveSumsEntry(std::wstring_view sumsFilePath, std::wstring_view name) {
    std::wstring path(name);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    if (StartsWith(path, L"\\\\.\\") || StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\??\\") ||
        path == L"\\\\." || path == L"\\\\?") {
        return {path, true};
    }
    // The root comes from the name when it has one, else from the sums file;
    // a relative name continues the sums file's folder.
    std::wstring_view rest = path, folder;
    SumsEntryPath resolved;
    if (const std::size_t nameRoot = RootLength(rest); nameRoot > 0) {
        resolved.path = rest.substr(0, nameRoot);
        rest.remove_prefix(nameRoot);
    } else {
        const std::size_t sumsRoot = RootLength(sumsFilePath);
        resolved.path = sumsFilePath.substr(0, sumsRoot);
        const std::size_t slash = sumsFilePath.find_last_of(L'\\');
        if (rest.substr(0, 1) != L"\\" && slash != std::wstring_view::npos && slash > sumsRoot) {
            folder = sumsFilePath.substr(sumsRoot, slash - sumsRoot);
        }
    }
    const std::size_t rootLength = resolved.path.size();
    resolved.path.reserve(rootLength + folder.size() + rest.size() + 1);
    AppendNames(resolved.path, rootLength, folder);
    AppendNames(resolved.path, rootLength, rest);
    if (resolved.path.size() == rootLength) resolved.path += L'\\';
    return resolved;
}

void SumsTally::Count(SumsVerdict verdict) {
    switch (verdict) {
    case SumsVerdict::Ok: ++ok; break;
    case SumsVerdict::Failed: ++failed; break;
    case SumsVerdict::Missing: ++missing; break;
    }
}

void SumsTally::Note(const SumsLine& line) {
    if (line.kind == SumsLineKind::Armour) signedList = true;
    if (line.kind != SumsLineKind::Skipped) return;
    ++skipped;
    if (shownSkips.size() < kMaxShownSkips) shownSkips.push_back(line);
}

std::wstring SumsVerdictLine(DigestAlgorithm algorithm, SumsVerdict verdict, std::wstring_view computedHex,
                             std::wstring_view path) {
    static const wchar_t* const kVerdicts[] = {L" OK] ", L" FAILED] ", L" MISSING] "};
    std::wstring line = L"[";
    line += Digest::Tag(algorithm);
    line += kVerdicts[static_cast<int>(verdict)];
    line += computedHex;
    line += L" - ";
    line += path;
    line += L"\r\n";
    return line;
}

std::wstring SumsSkippedLine(const SumsLine& skipped, std::wstring_view sumsFilePath) {
    std::wstring line = L"[SKIPPED] " + skipped.reason + L" - ";
    line += sumsFilePath;
    line += L":" + std::to_wstring(skipped.number) + L"\r\n";
    return line;
}

std::wstring SumsTallyLines(const SumsTally& tally, std::wstring_view sumsFilePath) {
    std::wstring text;
    for (const SumsLine& skipped : tally.shownSkips) text += SumsSkippedLine(skipped, sumsFilePath);
    if (tally.skipped > tally.shownSkips.size()) {
        text += L"[SKIPPED] " + std::to_wstring(tally.skipped - tally.shownSkips.size()) + L" more - ";
        text += sumsFilePath;
        text += L"\r\n";
    }
    const auto count = [](std::uint64_t n, const wchar_t* what) { return std::to_wstring(n) + what; };
    text += L"[CHECK] ";
    if (tally.ok + tally.failed + tally.missing == 0) {
        text += L"NOTHING CHECKED, " + count(tally.skipped, L" SKIPPED");
    } else {
        text += count(tally.ok, L" OK, ") + count(tally.failed, L" FAILED, ") + count(tally.missing, L" MISSING, ") +
                count(tally.skipped, L" SKIPPED");
    }
    if (tally.signedList) text += L", SIGNATURE NOT VERIFIED";
    text += L" - ";
    text += sumsFilePath;
    text += L"\r\n";
    return text;
}
