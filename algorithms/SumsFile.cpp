#include "algorithms/SumsFile.h"

#include <algorithm>
#include <cstring>

#include "support/PathText.h"

namespace {

constexpr std::wstring_view kSpaces = L" \t";
constexpr std::wstring_view kNotSumsLine = L"not a sums line";

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

bool StartsWith(std::wstring_view text, std::wstring_view start) { return text.substr(0, start.size()) == start; }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsUpperHexDigit(wchar_t c) { return IsDigit(c) || (c >= L'A' && c <= L'F'); }
bool IsHexDigit(wchar_t c) { return IsUpperHexDigit(c) || (c >= L'a' && c <= L'f'); }

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

std::wstring_view TrimLeft(std::wstring_view text) {
    const std::size_t first = text.find_first_not_of(kSpaces);
    return first == std::wstring_view::npos ? std::wstring_view() : text.substr(first);
}

bool IsBlank(std::wstring_view text) { return text.find_first_not_of(kSpaces) == std::wstring_view::npos; }

std::wstring_view BareName(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

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

// What a sums file's name tells its reader.
struct SumsName {
    std::wstring_view digest;  // the tag of lines that have none
    bool sfv = false;          // lines are "<name> <crc>" before anything else
    std::wstring sibling;      // SumsSiblingName
};

SumsName ReadName(std::wstring_view fileName) {
    SumsName name;
    if (const NameRule* rule = FindNameRule(fileName)) {
        name.digest = rule->digest;
        name.sfv = DigestOfTag(rule->digest) == DigestCrc32;
    }
    name.sibling = SumsSiblingName(fileName);
    return name;
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

// ---- Lines that stand alone ----

SumsLine Skip(std::wstring_view reason) {
    SumsLine line;
    line.reason = reason;
    return line;
}

// What a line says once its digest's tag (the sums file's when the line has
// none), its hex and its name are known: an entry, or why it is not one.
// `digits` counts the hex digits, of which `hex` may hold only the first.
SumsLine MakeEntry(std::wstring_view tag, std::wstring_view hex, std::size_t digits, std::wstring name) {
    const std::optional<DigestAlgorithm> algorithm = tag.empty() ? DigestOfLength(digits) : DigestOfTag(tag);
    if (!tag.empty() && !algorithm) return Skip(L"unknown digest " + std::wstring(tag));
    if (!algorithm || Digest::HexDigits(*algorithm) != digits) {
        // Fewer digits than any digest has are more likely a word.
        return Skip(digits >= 8 ? std::to_wstring(digits) + L" hex digits" : std::wstring(kNotSumsLine));
    }
    if (name.empty()) return Skip(kNotSumsLine);
    SumsLine line;
    line.kind = SumsLineKind::Entry;
    line.entry.algorithm = *algorithm;
    for (wchar_t c : hex) line.entry.expectedHex += AsciiUpper(c);
    line.entry.name = std::move(name);
    return line;
}

// Undoes the escapes of a name on a line that starts with "\".
bool Unescape(std::wstring_view name, bool escaped, std::wstring& out) {
    out.clear();
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (!escaped || name[i] != L'\\') {
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

// Undoes the "<XX>" escapes of a path on Dunmo's own lines; false for a "<"
// that starts none of them, which Dunmo would have escaped.
bool UnescapeOwn(std::wstring_view path, std::wstring& out) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != L'<') {
            out += path[i];
            continue;
        }
        if (path.size() - i < 4 || !IsUpperHexDigit(path[i + 1]) || !IsUpperHexDigit(path[i + 2]) || path[i + 3] != L'>')
            return false;
        const auto c = static_cast<wchar_t>(std::stoi(std::wstring(path.substr(i + 1, 2)), nullptr, 16));
        if (!(c < 0x20 || c == 0x7F || c == L'<')) return false;
        out += c;
        i += 3;
    }
    return true;
}

// Dunmo's own "[TAG] HEX - path" and "[TAG VERDICT] HEX - path"; none when
// the line is not of that shape.
std::optional<SumsLine> ParseOwn(std::wstring_view line) {
    if (line.substr(0, 1) != L"[") return std::nullopt;
    const std::size_t close = line.find(L"] ");
    if (close == std::wstring_view::npos) return std::nullopt;
    std::wstring_view tag = line.substr(1, close - 1), verdict;
    if (const std::size_t space = tag.find(L' '); space != std::wstring_view::npos) {
        verdict = tag.substr(space + 1);
        tag = tag.substr(0, space);
    }
    bool known = false;
    for (std::int32_t a = 0; a < kDigestCount; ++a) known = known || tag == Digest::Tag(static_cast<DigestAlgorithm>(a));
    if (!known || !(verdict.empty() || verdict == L"OK" || verdict == L"FAILED" || verdict == L"MISSING"))
        return std::nullopt;
    const std::wstring_view rest = line.substr(close + 2);
    const std::size_t dash = rest.find(L" - ");
    const std::wstring_view hex = rest.substr(0, dash);
    if (dash == std::wstring_view::npos || !IsHex(hex)) return std::nullopt;
    // A FAILED or MISSING line shows the digest computed, not the one
    // published; all zeros, a file that was not read whole.
    if (!verdict.empty() && verdict != L"OK") return Skip(kNotSumsLine);
    if (hex.find_first_not_of(L'0') == std::wstring_view::npos) return Skip(kNotSumsLine);
    std::wstring path;
    if (!UnescapeOwn(rest.substr(dash + 3), path)) return Skip(kNotSumsLine);
    return MakeEntry(tag, hex, hex.size(), std::move(path));
}

// "TAG (name) = value" or "TAG(name)= value"; none for another shape. Its
// tag alone decides, known or not.
std::optional<SumsLine> ParseTagged(std::wstring_view body, bool escaped) {
    const std::size_t open = body.find(L'(');
    if (open == std::wstring_view::npos) return std::nullopt;
    const std::wstring_view tag = TrimRight(body.substr(0, open));
    const std::wstring_view rest = TrimRight(body.substr(open + 1));
    const std::size_t close = rest.rfind(L')');
    if (!IsTagWord(tag) || close == std::wstring_view::npos) return std::nullopt;
    const std::wstring_view equals = TrimLeft(rest.substr(close + 1));
    if (equals.substr(0, 1) != L"=") return std::nullopt;
    const std::wstring_view value = TrimLeft(equals.substr(1));
    if (value.empty() || value.find_first_of(kSpaces) != std::wstring_view::npos) return std::nullopt;
    if (!DigestOfTag(tag)) return Skip(L"unknown digest " + std::wstring(tag));
    std::wstring name;
    if (!IsHex(value) || !Unescape(rest.substr(0, close), escaped, name)) return Skip(kNotSumsLine);
    return MakeEntry(tag, value, value.size(), std::move(name));
}

// "hex  name", "hex *name" or "hex name"; not a table's row, whose columns
// more spaces set apart.
std::optional<SumsLine> ParseGnu(std::wstring_view body, bool escaped, const SumsName& file) {
    const std::size_t space = body.find(L' ');
    if (space == std::wstring_view::npos || !IsHex(body.substr(0, space))) return std::nullopt;
    std::size_t nameStart = space + 1;
    if (nameStart < body.size() && (body[nameStart] == L' ' || body[nameStart] == L'*')) ++nameStart;
    if (nameStart < body.size() && body[nameStart] == L' ') return std::nullopt;
    std::wstring name;
    if (!Unescape(body.substr(nameStart), escaped, name)) return Skip(kNotSumsLine);
    return MakeEntry(file.digest, body.substr(0, space), space, std::move(name));
}

// "name hex", the digest being the last field.
std::optional<SumsLine> ParseLastField(std::wstring_view line, const SumsName& file) {
    line = TrimRight(line);
    const std::size_t space = line.find_last_of(kSpaces);
    if (space == std::wstring_view::npos || !IsHex(line.substr(space + 1))) return std::nullopt;
    const std::wstring_view hex = line.substr(space + 1);
    return MakeEntry(file.digest, hex, hex.size(), std::wstring(TrimRight(line.substr(0, space))));
}

// ---- Layouts of several lines ----

constexpr std::wstring_view kBeginSigned = L"-----BEGIN PGP SIGNED MESSAGE-----";
constexpr std::wstring_view kBeginSignature = L"-----BEGIN PGP SIGNATURE-----";
constexpr std::wstring_view kEndSignature = L"-----END PGP SIGNATURE-----";
constexpr std::wstring_view kCertutilDone = L"CertUtil: -hashfile command completed successfully.";

// An armour header such as "Hash: SHA256".
bool IsArmourHeader(std::wstring_view line) {
    const std::size_t colon = line.find(L": ");
    if (colon == 0 || colon == std::wstring_view::npos) return false;
    for (wchar_t c : line.substr(0, colon)) {
        if (!((AsciiUpper(c) >= L'A' && AsciiUpper(c) <= L'Z') || c == L'-')) return false;
    }
    return true;
}

// Hex as gpg writes it: upper-case groups of 2, 4 or 8 digits, all as long as
// `group` (the first sets it when 0), one or two spaces apart. Their digits
// go to `hex`, up to `most` kept, and are counted in `digits`.
bool TakeGroups(std::wstring_view text, std::size_t& group, std::wstring& hex, std::size_t& digits, std::size_t most) {
    text = TrimRight(text);
    std::size_t size = group, count = 0;
    for (std::size_t i = 0;;) {
        std::size_t j = i;
        while (j < text.size() && IsUpperHexDigit(text[j])) ++j;
        if (size == 0) size = j - i;
        if (j - i != size || (size != 2 && size != 4 && size != 8)) return false;
        count += size;
        if (j == text.size()) break;
        i = text.find_first_not_of(L' ', j);
        if (i == std::wstring_view::npos || i - j > 2) return false;
    }
    group = size;
    for (wchar_t c : text) {
        if (c != L' ' && hex.size() < most) hex += c;
    }
    digits += count;
    return true;
}

// Get-FileHash's list line "<key><spaces>: <value>", the value from `column`.
bool ListField(std::wstring_view line, std::wstring_view key, std::size_t& column, std::wstring_view& value) {
    if (!StartsWith(line, key)) return false;
    const std::size_t colon = line.find_first_not_of(L' ', key.size());
    if (colon == key.size() || colon == std::wstring_view::npos || line.substr(colon, 2) != L": ") return false;
    column = colon + 2;
    value = line.substr(column);
    return true;
}

// certutil's digest: hex digits, or byte pairs one space apart.
bool CertutilHex(std::wstring_view line, std::wstring& hex, bool& pairs) {
    line = TrimRight(line);
    pairs = line.size() > 2 && line[2] == L' ';
    if (!pairs) {
        hex.assign(line);
        return IsHex(line);
    }
    if (line.size() % 3 != 2) return false;
    for (std::size_t i = 0; i < line.size(); i += 3) {
        if (!IsHexDigit(line[i]) || !IsHexDigit(line[i + 1]) || (i + 2 < line.size() && line[i + 2] != L' '))
            return false;
        hex += line.substr(i, 2);
    }
    return true;
}

bool HasGarbage(std::wstring_view text, bool zero) {
    for (wchar_t c : text) {
        if (c == L'\xFFFD' || (!zero && c < 0x20 && c != L'\t')) return true;  // undecodable bytes, binary garbage
    }
    return false;
}

}  // namespace

// Understands decoded lines, one at a time, carrying what an entry of several
// lines needs from one to the next.
struct SumsReader::Lines {
    explicit Lines(std::wstring_view sumsFileName) : file(ReadName(sumsFileName)), most(MostHexDigits()) {}

    // One line, without its ending; `zero`: the lines end in NUL.
    void Take(std::wstring_view text, std::uint64_t number, bool zero, const Sink& sink);
    void TakeUnreadable(std::uint64_t number, const Sink& sink) {
        Close(false, sink);
        Emit(Skip(kNotSumsLine), number, sink);
    }
    void End(const Sink& sink) { Close(true, sink); }

private:
    enum class Frame { Plain, PgpHeaders, PgpText, PgpSignature };
    // An entry begun on an earlier line: a line of one digest that may be
    // the whole file, certutil's or gpg's name line (gpg's with its digits
    // begun or not), Get-FileHash's list, or a table's heading.
    enum class Open { None, Bare, Certutil, GpgName, Gpg, List, TableHeading };

    static void Emit(SumsLine line, std::uint64_t number, const Sink& sink) {
        line.number = number;
        sink(line);
    }
    static void Emit(SumsLineKind kind, std::uint64_t number, const Sink& sink) {
        SumsLine line;
        line.kind = kind;
        Emit(std::move(line), number, sink);
    }
    void Layout(std::wstring_view text, std::uint64_t number, bool zero, const Sink& sink);
    void Start(std::wstring_view text, std::uint64_t number, bool zero, const Sink& sink);
    bool OpenLayout(std::wstring_view text, std::uint64_t number, const Sink& sink);
    bool Continue(std::wstring_view text, const Sink& sink);
    bool TakeGpgDigits(std::wstring_view text, bool tagged);
    void Begin(Open kind, std::uint64_t number);
    void Close(bool atEnd, const Sink& sink);
    std::wstring TableRule() const;
    SumsLine TableRow(std::wstring_view text) const;

    const SumsName file;
    const std::size_t most;
    Frame frame = Frame::Plain;
    Open open = Open::None;
    std::uint64_t openNumber = 0;
    // The open entry's parts: its digest's tag, hex (up to `most` digits kept
    // of gpg's), and name; a list's Algorithm, Hash and Path values.
    std::wstring tag, hex, name;
    std::size_t digits = 0, group = 0;  // gpg: digits counted, the groups' length
    std::size_t column = 0;             // a list's value column
    int field = 0;                      // a list's lines so far: 1 Algorithm, 2 Hash, 3 Path
    bool table = false;                 // between a table's rule and the blank line after it
    std::size_t hashColumn = 0, pathColumn = 0;
};

void SumsReader::Lines::Take(std::wstring_view text, std::uint64_t number, bool zero, const Sink& sink) {
    const std::wstring_view trimmed = TrimRight(text);
    switch (frame) {
    case Frame::Plain:
        if (trimmed == kBeginSigned || trimmed == kBeginSignature) {
            Close(false, sink);
            table = false;
            frame = trimmed == kBeginSigned ? Frame::PgpHeaders : Frame::PgpSignature;
            return Emit(SumsLineKind::Armour, number, sink);
        }
        break;
    case Frame::PgpHeaders:
        if (IsBlank(text) || IsArmourHeader(text)) {
            if (IsBlank(text)) frame = Frame::PgpText;
            return Emit(SumsLineKind::Armour, number, sink);
        }
        frame = Frame::PgpText;  // text without the blank line before it
        break;
    case Frame::PgpText:
        if (trimmed == kBeginSignature) {
            Close(false, sink);
            table = false;
            frame = Frame::PgpSignature;
            return Emit(SumsLineKind::Armour, number, sink);
        }
        if (StartsWith(text, L"- ")) text.remove_prefix(2);
        break;
    case Frame::PgpSignature:
        if (trimmed == kEndSignature) frame = Frame::Plain;
        return Emit(SumsLineKind::Armour, number, sink);
    }
    Layout(text, number, zero, sink);
}

void SumsReader::Lines::Layout(std::wstring_view text, std::uint64_t number, bool zero, const Sink& sink) {
    const bool garbage = HasGarbage(text, zero);
    if (!garbage && open != Open::None && Continue(text, sink)) return;
    Close(false, sink);
    if (garbage) return Emit(Skip(kNotSumsLine), number, sink);
    if (table) {
        if (!IsBlank(text)) return Emit(TableRow(text), number, sink);
        table = false;
    }
    Start(text, number, zero, sink);
}

void SumsReader::Lines::Start(std::wstring_view text, std::uint64_t number, bool zero, const Sink& sink) {
    const std::size_t first = text.find_first_not_of(kSpaces);
    if (first == std::wstring_view::npos) return Emit(SumsLineKind::Blank, number, sink);
    if (text[first] == L'#' || text[first] == L';') return Emit(SumsLineKind::Comment, number, sink);
    if (std::optional<SumsLine> own = ParseOwn(text)) return Emit(std::move(*own), number, sink);
    const bool escaped = !zero && text[0] == L'\\';
    const std::wstring_view body = escaped ? text.substr(1) : text;
    if (std::optional<SumsLine> tagged = ParseTagged(body, escaped)) return Emit(std::move(*tagged), number, sink);

    // Shapes that may fit one line tried in turn; the reason kept is the
    // first that says more than "not a sums line".
    std::wstring reason(kNotSumsLine);
    const auto entry = [&](std::optional<SumsLine> parsed) {
        if (!parsed) return false;
        if (parsed->kind == SumsLineKind::Entry) {
            Emit(std::move(*parsed), number, sink);
            return true;
        }
        if (reason == kNotSumsLine) reason = std::move(parsed->reason);
        return false;
    };
    // A line such as "0badf00d 352441C2" fits both forms: an SFV file is read
    // name first, every other file digest first.
    if (file.sfv && entry(ParseLastField(text, file))) return;
    if (entry(ParseGnu(body, escaped, file))) return;
    if (OpenLayout(text, number, sink)) return;
    if (!file.sfv && entry(ParseLastField(text, file))) return;
    Emit(Skip(reason), number, sink);
}

bool SumsReader::Lines::OpenLayout(std::wstring_view text, std::uint64_t number, const Sink& sink) {
    const std::wstring_view trimmed = TrimRight(text);
    if (trimmed == kCertutilDone) {
        Emit(SumsLineKind::Comment, number, sink);
        return true;
    }
    // certutil: "<TAG> hash of <name>:".
    if (const std::size_t of = trimmed.find(L" hash of "); of != std::wstring_view::npos && trimmed.back() == L':' &&
                                                           IsTagWord(trimmed.substr(0, of)) && trimmed.size() > of + 10) {
        Begin(Open::Certutil, number);
        tag = trimmed.substr(0, of);
        name = trimmed.substr(of + 9, trimmed.size() - of - 10);
        return true;
    }
    // Get-FileHash's list, whose first line is "Algorithm : <tag>".
    std::wstring_view value;
    if (ListField(text, L"Algorithm", column, value) && IsTagWord(TrimRight(value))) {
        Begin(Open::List, number);
        tag = value;
        field = 1;
        return true;
    }
    // Get-FileHash's table heading.
    if (StartsWith(text, L"Algorithm ")) {
        hashColumn = text.find_first_not_of(L' ', 9);
        pathColumn = hashColumn == std::wstring_view::npos ? hashColumn : text.find_first_not_of(L' ', hashColumn + 4);
        if (pathColumn != std::wstring_view::npos && text.substr(hashColumn, 5) == L"Hash " &&
            TrimRight(text.substr(pathColumn)) == L"Path") {
            Begin(Open::TableHeading, number);
            return true;
        }
    }
    // gpg's "<name>: <digits>", or "<name>:" with its digits on the next line.
    if (file.sfv) return false;
    if (trimmed.back() == L':') {
        Begin(Open::GpgName, number);
        name = trimmed.substr(0, trimmed.size() - 1);
        return true;
    }
    if (const std::size_t colon = text.rfind(L": "); colon != std::wstring_view::npos && colon > 0) {
        Begin(Open::Gpg, number);
        if (TakeGpgDigits(text.substr(colon + 2), true)) {
            name = text.substr(0, colon);
            return true;
        }
        open = Open::None;
    }
    // A digest alone on the first line: the whole of a bare digest's file, if nothing follows.
    if (number == 1 && !file.sibling.empty() && IsHex(trimmed)) {
        Begin(Open::Bare, number);
        hex = trimmed;
        return true;
    }
    return false;
}

void SumsReader::Lines::Begin(Open kind, std::uint64_t number) {
    open = kind;
    openNumber = number;
    tag.clear();
    hex.clear();
    name.clear();
    digits = group = 0;
}

// "[TAG = ]<groups>" after gpg's name, or more groups on an indented line.
bool SumsReader::Lines::TakeGpgDigits(std::wstring_view text, bool tagged) {
    text = TrimLeft(text);
    std::wstring_view word;
    if (const std::size_t equals = text.find(L" = "); tagged && equals != std::wstring_view::npos) {
        word = text.substr(0, equals);
        text.remove_prefix(equals + 3);
        if (!IsTagWord(word)) return false;
    }
    if (!TakeGroups(text, group, hex, digits, most)) return false;
    if (!word.empty()) tag = word;
    return true;
}

bool SumsReader::Lines::Continue(std::wstring_view text, const Sink& sink) {
    switch (open) {
    case Open::None:
    case Open::Bare: return false;
    case Open::Certutil: {
        std::wstring digest;
        bool pairs;
        if (!CertutilHex(text, digest, pairs)) return false;
        std::wstring_view named = name;
        if (pairs && StartsWith(named, L"file ")) named.remove_prefix(5);
        open = Open::None;
        Emit(MakeEntry(tag, digest, digest.size(), std::wstring(named)), openNumber, sink);
        return true;
    }
    case Open::GpgName:
        if (!TakeGpgDigits(text, true)) return false;
        open = Open::Gpg;
        return true;
    case Open::Gpg: return StartsWith(text, L" ") && TakeGpgDigits(text, false);
    case Open::List: {
        std::wstring* const values[] = {&tag, &hex, &name};
        std::size_t at = 0;
        std::wstring_view value;
        if (text.size() > column && IsBlank(text.substr(0, column))) {
            value = text.substr(column);  // a value wrapped onto the next line
        } else if (field < 3 && ListField(text, field == 1 ? L"Hash" : L"Path", at, value) && at == column) {
            ++field;
        } else {
            return false;
        }
        std::wstring& to = *values[field - 1];
        if (to.size() + value.size() > kMaxSumsLineBytes) {
            field = 0;  // past a line's length: not understood
            return false;
        }
        to += value;
        return true;
    }
    case Open::TableHeading:
        if (TrimRight(text) != TableRule()) return false;
        open = Open::None;
        table = true;
        return true;
    }
    return false;
}

void SumsReader::Lines::Close(bool atEnd, const Sink& sink) {
    SumsLine line = Skip(kNotSumsLine);
    switch (open) {
    case Open::None: return;
    case Open::Bare:
        if (atEnd) line = MakeEntry(file.digest, hex, hex.size(), file.sibling);
        break;
    case Open::Gpg: line = MakeEntry(tag.empty() ? file.digest : tag, hex, digits, name); break;
    case Open::List: {
        const std::wstring_view digest = TrimRight(hex);
        if (field == 3 && IsHex(digest)) line = MakeEntry(TrimRight(tag), digest, digest.size(), std::wstring(TrimRight(name)));
        break;
    }
    case Open::Certutil:
    case Open::GpgName:
    case Open::TableHeading: break;
    }
    open = Open::None;
    Emit(std::move(line), openNumber, sink);
}

std::wstring SumsReader::Lines::TableRule() const {
    std::wstring rule(9, L'-');
    rule.resize(hashColumn, L' ');
    rule.append(4, L'-');
    rule.resize(pathColumn, L' ');
    rule.append(4, L'-');
    return rule;
}

SumsLine SumsReader::Lines::TableRow(std::wstring_view text) const {
    if (text.size() <= pathColumn || text[hashColumn - 1] != L' ' || text[pathColumn - 1] != L' ')
        return Skip(kNotSumsLine);
    const std::wstring_view tagText = TrimRight(text.substr(0, hashColumn));
    const std::wstring_view digest = TrimRight(text.substr(hashColumn, pathColumn - hashColumn));
    const std::wstring_view path = TrimRight(text.substr(pathColumn));
    // A path too wide for the table ends in "..." where it was cut.
    const bool cut = path.size() >= 3 && (path.substr(path.size() - 3) == L"..." || path.back() == L'\x2026');
    if (!IsTagWord(tagText) || !IsHex(digest) || cut) return Skip(kNotSumsLine);
    return MakeEntry(tagText, digest, digest.size(), std::wstring(path));
}

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
