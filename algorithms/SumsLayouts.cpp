#include "algorithms/SumsLayouts.h"

#include <string>
#include <utility>

using namespace sumsfile;

namespace {

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

void SumsReader::Lines::TakeUnreadable(std::uint64_t number, const Sink& sink) {
    Close(false, sink);
    Emit(Skip(kNotSumsLine), number, sink);
}

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
