#include "algorithms/SumsFile.h"

#include <cstring>

#include "support/PathText.h"

namespace {

constexpr std::wstring_view kSpaces = L" \t";

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

bool EndsWithNoCase(std::wstring_view text, std::wstring_view end) {
    return text.size() >= end.size() && EqualsNoCase(text.substr(text.size() - end.size()), end);
}

bool IsHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

bool IsHex(std::wstring_view text) {
    for (wchar_t c : text) {
        if (!IsHexDigit(c)) return false;
    }
    return !text.empty();
}

std::wstring_view TrimRight(std::wstring_view text) {
    const std::size_t last = text.find_last_not_of(kSpaces);
    return text.substr(0, last == std::wstring_view::npos ? 0 : last + 1);
}

std::wstring_view BareName(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

// ---- Names ----

struct NameRule {
    std::wstring_view text;
    bool whole;  // the whole name (also with ".txt"), else its ending
    std::optional<DigestAlgorithm> algorithm;
};
constexpr NameRule kNameRules[] = {
    {L".md5", false, DigestMd5},       {L".sha1", false, DigestSha1},     {L".sha256", false, DigestSha256},
    {L".sfv", false, DigestCrc32},     {L"MD5SUMS", true, DigestMd5},     {L"SHA1SUMS", true, DigestSha1},
    {L"SHA256SUMS", true, DigestSha256}, {L"CHECKSUM", false, std::nullopt},
};

const NameRule* FindNameRule(std::wstring_view fileName) {
    const std::wstring_view name = BareName(fileName);
    for (const NameRule& rule : kNameRules) {
        if (rule.whole) {
            const std::wstring_view stem = EndsWithNoCase(name, L".txt") ? name.substr(0, name.size() - 4) : name;
            if (EqualsNoCase(stem, rule.text)) return &rule;
        } else if (EndsWithNoCase(name, rule.text)) {
            return &rule;
        }
    }
    return nullptr;
}

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

std::wstring DecodeUtf16Le(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    if (bytes.size() % 2 != 0) text += L'\xFFFD';  // half a code unit at the file's end
    return text;
}

// ---- Lines ----

struct TagName {
    std::wstring_view tag;
    DigestAlgorithm algorithm;
};
constexpr TagName kTags[] = {{L"MD5", DigestMd5},         {L"SHA1", DigestSha1},     {L"SHA-1", DigestSha1},
                             {L"SHA256", DigestSha256},   {L"SHA-256", DigestSha256}, {L"SHA2-256", DigestSha256},
                             {L"CRC32", DigestCrc32}};

// A line's pieces before they are checked against each other.
struct Candidate {
    std::optional<DigestAlgorithm> tag;
    std::wstring_view hex;
    std::wstring_view name;
};

// "TAG (name) = hex", with or without the spaces around "(", ")" and "=".
std::optional<Candidate> SplitTagged(std::wstring_view line) {
    const std::size_t open = line.find(L'(');
    if (open == std::wstring_view::npos) return std::nullopt;
    const std::wstring_view tag = TrimRight(line.substr(0, open));
    Candidate candidate;
    for (const TagName& known : kTags) {
        if (EqualsNoCase(tag, known.tag)) candidate.tag = known.algorithm;
    }
    if (!candidate.tag) return std::nullopt;
    std::wstring_view rest = TrimRight(line.substr(open + 1));
    std::size_t hexStart = rest.size();
    while (hexStart > 0 && IsHexDigit(rest[hexStart - 1])) --hexStart;
    candidate.hex = rest.substr(hexStart);
    rest = TrimRight(rest.substr(0, hexStart));
    if (rest.empty() || rest.back() != L'=') return std::nullopt;
    rest = TrimRight(rest.substr(0, rest.size() - 1));
    if (rest.empty() || rest.back() != L')') return std::nullopt;
    candidate.name = rest.substr(0, rest.size() - 1);
    return candidate;
}

// "hex  name", "hex *name" or "hex name".
std::optional<Candidate> SplitGnu(std::wstring_view line) {
    const std::size_t space = line.find(L' ');
    if (space == std::wstring_view::npos || !IsHex(line.substr(0, space))) return std::nullopt;
    std::size_t nameStart = space + 1;
    if (nameStart < line.size() && (line[nameStart] == L' ' || line[nameStart] == L'*')) ++nameStart;
    return Candidate{std::nullopt, line.substr(0, space), line.substr(nameStart)};
}

// "name hex", the digest being the last field.
std::optional<Candidate> SplitLastField(std::wstring_view line) {
    line = TrimRight(line);
    const std::size_t space = line.find_last_of(kSpaces);
    if (space == std::wstring_view::npos || !IsHex(line.substr(space + 1))) return std::nullopt;
    return Candidate{std::nullopt, line.substr(space + 1), TrimRight(line.substr(0, space))};
}

// Undoes the escapes of a name on a line that starts with "\".
bool Unescape(std::wstring_view name, std::wstring& out) {
    out.clear();
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != L'\\') {
            out += name[i];
            continue;
        }
        if (++i == name.size()) return false;
        switch (name[i]) {
        case L'\\': out += L'\\'; break;
        case L'n': out += L'\n'; break;
        case L'r': out += L'\r'; break;
        default: return false;
        }
    }
    return true;
}

std::optional<DigestAlgorithm> AlgorithmOfLength(std::size_t digits) {
    for (std::int32_t a = 0; a < kDigestCount; ++a) {
        if (Digest::HexDigits(static_cast<DigestAlgorithm>(a)) == digits) return static_cast<DigestAlgorithm>(a);
    }
    return std::nullopt;
}

SumsLine Understand(const std::optional<Candidate>& candidate, bool escaped,
                    std::optional<DigestAlgorithm> nameAlgorithm) {
    SumsLine line;
    if (!candidate || candidate->name.empty()) return line;
    std::optional<DigestAlgorithm> algorithm = candidate->tag ? candidate->tag : nameAlgorithm;
    if (!algorithm) algorithm = AlgorithmOfLength(candidate->hex.size());
    if (!algorithm || Digest::HexDigits(*algorithm) != candidate->hex.size()) return line;
    SumsEntry& entry = line.entry;
    if (escaped) {
        if (!Unescape(candidate->name, entry.name)) return line;
    } else {
        entry.name.assign(candidate->name);
    }
    entry.algorithm = *algorithm;
    for (wchar_t c : candidate->hex) entry.expectedHex += AsciiUpper(c);
    line.kind = SumsLineKind::Entry;
    return line;
}

// ---- Paths ----

bool StartsWith(std::wstring_view text, std::wstring_view start) { return text.substr(0, start.size()) == start; }

}  // namespace

bool IsSumsFileName(std::wstring_view fileName) { return FindNameRule(fileName) != nullptr; }

std::optional<DigestAlgorithm> SumsNameAlgorithm(std::wstring_view fileName) {
    const NameRule* rule = FindNameRule(fileName);
    return rule ? rule->algorithm : std::nullopt;
}

void SumsEncodingDetector::Decide(SumsEncoding encoding) {
    decided = true;
    result = encoding;
}

void SumsEncodingDetector::Feed(const void* bytes, std::size_t count) {
    if (decided) return;
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < count && headCount < 3; ++i) head[headCount++] = p[i];
    const bool utf16Mark = headCount >= 2 && head[0] == 0xFF && head[1] == 0xFE;
    if (utf16Mark) return Decide(SumsEncoding::Utf16Le);
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
    return pending == 0 ? SumsEncoding::Utf8 : SumsEncoding::Ansi;  // a cut sequence is not valid
}

SumsLine ParseSumsLine(std::wstring_view line, std::optional<DigestAlgorithm> nameAlgorithm) {
    const std::size_t first = line.find_first_not_of(kSpaces);
    if (first == std::wstring_view::npos) return {SumsLineKind::Blank, {}};
    if (line[first] == L'#' || line[first] == L';') return {SumsLineKind::Comment, {}};
    for (wchar_t c : line) {
        if ((c < 0x20 && c != L'\t') || c == L'\xFFFD') return {};  // binary garbage or undecodable bytes
    }
    const bool escaped = line[0] == L'\\';
    const std::wstring_view body = escaped ? line.substr(1) : line;
    // A line in the tagged form is judged by it alone: its tag decides.
    if (const auto tagged = SplitTagged(body)) return Understand(tagged, escaped, nameAlgorithm);
    // A line such as "0badf00d 12345678" fits both forms: an SFV file is read
    // name first, every other file digest first.
    const bool sfv = nameAlgorithm == DigestCrc32;
    const SumsLine parsed = sfv ? Understand(SplitLastField(line), false, nameAlgorithm)
                                : Understand(SplitGnu(body), escaped, nameAlgorithm);
    if (parsed.kind == SumsLineKind::Entry) return parsed;
    return sfv ? Understand(SplitGnu(body), escaped, nameAlgorithm)
               : Understand(SplitLastField(line), false, nameAlgorithm);
}

SumsReader::SumsReader(SumsEncoding encoding, std::optional<DigestAlgorithm> nameAlgorithm, AnsiDecoder ansi)
    : encoding(encoding), nameAlgorithm(nameAlgorithm), ansi(std::move(ansi)) {}

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
    std::string_view raw = line;
    const bool utf16 = encoding == SumsEncoding::Utf16Le;
    if (firstLine && utf16 && raw.substr(0, 2) == "\xFF\xFE") raw.remove_prefix(2);
    if (firstLine && encoding == SumsEncoding::Utf8 && raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
    const std::string_view cr = utf16 ? std::string_view("\r\0", 2) : std::string_view("\r");
    if (raw.size() >= cr.size() && raw.substr(raw.size() - cr.size()) == cr) raw.remove_suffix(cr.size());
    SumsLine parsed;
    if (!overLong && raw.size() <= kMaxSumsLineBytes) {
        const std::wstring text = utf16 ? DecodeUtf16Le(raw)
                                  : encoding == SumsEncoding::Utf8 ? DecodeUtf8(raw)
                                                                   : ansi(raw);
        parsed = ParseSumsLine(text, nameAlgorithm);
    }
    line.clear();
    overLong = false;
    firstLine = false;
    sink(parsed);
}

void SumsReader::Feed(const void* bytes, std::size_t count, const Sink& sink) {
    const char* p = static_cast<const char*>(bytes);
    const char* const end = p + count;
    if (encoding != SumsEncoding::Utf16Le) {
        while (p < end) {
            const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            Append(p, static_cast<std::size_t>((lf ? lf : end) - p));
            if (!lf) break;
            EndLine(sink);
            p = lf + 1;
        }
        return;
    }
    if (hasCarry && p < end) {
        const char unit[2] = {carry, *p++};
        hasCarry = false;
        if (unit[0] == '\n' && unit[1] == 0) {
            EndLine(sink);
        } else {
            Append(unit, 2);
        }
    }
    while (p < end) {
        const char* q = p;
        while (end - q >= 2 && !(q[0] == '\n' && q[1] == 0)) q += 2;
        Append(p, static_cast<std::size_t>(q - p));
        if (end - q >= 2) {
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
}

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

std::wstring SumsTallyLine(const SumsTally& tally, std::wstring_view sumsFilePath) {
    std::wstring line = L"[CHECK] " + std::to_wstring(tally.ok) + L" OK, " + std::to_wstring(tally.failed) +
                        L" FAILED, " + std::to_wstring(tally.missing) + L" MISSING, " +
                        std::to_wstring(tally.skipped) + L" SKIPPED - ";
    line += sumsFilePath;
    line += L"\r\n";
    return line;
}
