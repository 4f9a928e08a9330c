#pragma once
// What SumsFile.cpp (names, digests, decoding, the reader) and SumsLayouts.cpp
// (the layouts of lines) share; nothing else includes it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "algorithms/SumsFile.h"

namespace sumsfile {

constexpr std::wstring_view kSpaces = L" \t";
constexpr std::wstring_view kNotSumsLine = L"not a sums line";

inline wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

inline bool StartsWith(std::wstring_view text, std::wstring_view start) { return text.substr(0, start.size()) == start; }

inline bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
inline bool IsUpperHexDigit(wchar_t c) { return IsDigit(c) || (c >= L'A' && c <= L'F'); }
inline bool IsHexDigit(wchar_t c) { return IsUpperHexDigit(c) || (c >= L'a' && c <= L'f'); }

inline bool IsHex(std::wstring_view text) {
    for (wchar_t c : text) {
        if (!IsHexDigit(c)) return false;
    }
    return !text.empty();
}

inline std::wstring_view TrimRight(std::wstring_view text) {
    const std::size_t last = text.find_last_not_of(kSpaces);
    return text.substr(0, last == std::wstring_view::npos ? 0 : last + 1);
}

inline std::wstring_view TrimLeft(std::wstring_view text) {
    const std::size_t first = text.find_first_not_of(kSpaces);
    return first == std::wstring_view::npos ? std::wstring_view() : text.substr(first);
}

inline bool IsBlank(std::wstring_view text) { return text.find_first_not_of(kSpaces) == std::wstring_view::npos; }

// Defined in SumsFile.cpp.
bool IsTagWord(std::wstring_view word);
std::optional<DigestAlgorithm> DigestOfTag(std::wstring_view tag);
std::optional<DigestAlgorithm> DigestOfLength(std::size_t digits);
std::size_t MostHexDigits();

// What a sums file's name tells its reader.
struct SumsName {
    std::wstring_view digest;  // the tag of lines that have none
    bool sfv = false;          // lines are "<name> <crc>" before anything else
    std::wstring sibling;      // SumsSiblingName
};
SumsName ReadName(std::wstring_view fileName);

}  // namespace sumsfile

// Understands decoded lines, one at a time, carrying what an entry of several
// lines needs from one to the next.
struct SumsReader::Lines {
    explicit Lines(std::wstring_view sumsFileName)
        : file(sumsfile::ReadName(sumsFileName)), most(sumsfile::MostHexDigits()) {}

    // One line, without its ending; `zero`: the lines end in NUL.
    void Take(std::wstring_view text, std::uint64_t number, bool zero, const Sink& sink);
    void TakeUnreadable(std::uint64_t number, const Sink& sink);
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

    const sumsfile::SumsName file;
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
