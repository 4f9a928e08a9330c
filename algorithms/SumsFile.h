#pragma once
// Sums files: lists of published digests that are checked rather than hashed.
// This is the text side only: recognising such a file by its name, decoding
// and splitting it in bounded memory, understanding the layouts publishers and
// tools write, placing its names, and writing the lines of a check.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "algorithms/Digest.h"

// Whether a file of this name (a bare name or a path) is a sums file: its bare
// name matches, in any case, one of the patterns of the name table in
// SumsFile.cpp (the README lists them), such as "*.sha256", "SHA512SUMS",
// "CHECKSUM.SHA512*" or "*checksums.txt".
bool IsSumsFileName(std::wstring_view fileName);

// For a sums file named with a digest extension (.md5, .sha1, .sha256, .sha512,
// each also with "sum" appended), the bare name of the file a bare digest in it
// is of: its own without that extension ("x.iso.sha256" gives "x.iso"). Empty
// for other names, and where nothing, "." or ".." would remain.
std::wstring SumsSiblingName(std::wstring_view fileName);

enum class SumsEncoding { Utf8, Utf16Le, Utf16Be, Ansi };

// Decides a file's encoding from its bytes, fed in order in chunks of any
// size: a UTF-16 byte-order mark (either order), else UTF-8 when the bytes
// carry its mark or are valid UTF-8 throughout, else the ANSI code page.
// Decided() turns true as soon as more bytes cannot change the answer, so the
// reader may stop early.
class SumsEncodingDetector {
public:
    void Feed(const void* bytes, std::size_t count);
    bool Decided() const { return decided; }
    SumsEncoding Result() const;  // after the last Feed (or once decided)

private:
    void Decide(SumsEncoding encoding);
    unsigned char head[3] = {};
    std::size_t headCount = 0;
    bool decided = false;
    SumsEncoding result = SumsEncoding::Utf8;
    // Inside a multi-byte sequence: continuation bytes still due, and the
    // range the next one must lie in (narrower after E0, ED, F0 and F4);
    // -1 once the bytes are not UTF-8.
    int pending = 0;
    unsigned char low = 0x80, high = 0xBF;
};

// Converts one line's bytes from the ANSI code page; supplied by the caller,
// since only the platform knows that code page.
using AnsiDecoder = std::function<std::wstring(std::string_view bytes)>;

struct SumsEntry {
    DigestAlgorithm algorithm = DigestMd5;
    std::wstring expectedHex;  // upper case, Digest::HexDigits(algorithm) long
    std::wstring name;         // as written, escapes undone
};

// Blank lines, comments and the frame of a layout (a tool's headings and
// closing line) count for nothing; so does PGP armour, which marks the list as
// signed. Skipped lines are those not understood.
enum class SumsLineKind { Blank, Comment, Armour, Entry, Skipped };

struct SumsLine {
    SumsLineKind kind = SumsLineKind::Skipped;
    SumsEntry entry;  // for kind Entry only
    // For kind Skipped: "unknown digest <TAG>", "<N> hex digits" or "not a sums line".
    std::wstring reason;
    std::uint64_t number = 0;  // in the file, from 1; an entry's first line
};

// Longest line read, in bytes, without its line ending; longer ones are Skipped.
constexpr std::size_t kMaxSumsLineBytes = 64 * 1024;

// Splits a sums file, fed in order in chunks of any size, into lines, and
// hands them, understood, to the sink in the file's order: each entry, each
// line not understood, and each line that counts for nothing, once; lines
// taken into an entry of several lines are not handed on. However the file is
// chunked, the sink sees the same lines.
//
// Lines end in LF or CRLF, or in NUL when the first line does (a list written
// with --zero: its names are not escaped and may hold any character but NUL).
// Each is decoded in the file's encoding, a byte-order mark dropped. The
// layouts understood, each exactly or not at all:
// - "<hex>  <name>" or "<hex> *<name>" (a leading "\" escapes "\\", "\n", "\r"
//   in the name), "TAG (<name>) = <hex>" or "TAG(<name>)= <hex>", and SFV's
//   "<name> <crc>" (name first in a .sfv file, last elsewhere);
// - Dunmo's own result lines "[TAG] <HEX> - <path>" and OK verdict lines,
//   "<XX>" escapes undone; an all-zero digest, a FAILED or MISSING verdict
//   and other bracketed lines are not entries;
// - a whole file of one digest and at most a line end, in a file named with
//   a digest extension: the digest of SumsSiblingName's file;
// - PGP clear-signed text: armour and headers are Armour, "- " escapes undone;
// - gpg's "<name>: <HEX> <HEX> ...", hex groups of 2, 4 or 8 digits, with or
//   without "TAG = " before them, wrapped onto indented lines, the name alone
//   on its line when it is long;
// - certutil's "<TAG> hash of <name>:" and the hex on the next line, in byte
//   pairs one space apart when older versions wrote "hash of file <name>:";
//   its closing line is a Comment;
// - Get-FileHash's list (Algorithm, Hash and Path lines, values wrapped onto
//   lines indented to their column) and its table (a heading and a rule of
//   dashes, then a row per file, to a blank line).
// A tag decides the digest; else the sums file's name (B2SUMS names one Dunmo
// does not know); else the digest's length. A tag Dunmo does not know is never
// replaced by the length: its lines are Skipped, and so are tables that are not
// entries, such as rows of a digest, a size and a name.
//
// Memory holds at most one line of up to kMaxSumsLineBytes and what one entry
// of several lines needs.
class SumsReader {
public:
    using Sink = std::function<void(const SumsLine& line)>;
    // `sumsFileName` is the sums file's name or path, for its digest and sibling.
    SumsReader(SumsEncoding encoding, std::wstring_view sumsFileName, AnsiDecoder ansi);
    ~SumsReader();
    SumsReader(const SumsReader&) = delete;
    SumsReader& operator=(const SumsReader&) = delete;

    void Feed(const void* bytes, std::size_t count, const Sink& sink);
    // Ends the file: hands over a last line that has no line ending, and an
    // entry still open.
    void Finish(const Sink& sink);

    struct Lines;  // understands decoded lines; SumsLayouts.h only

private:
    void Append(const char* bytes, std::size_t count);
    void EndLine(const Sink& sink);

    SumsEncoding encoding;
    AnsiDecoder ansi;
    std::unique_ptr<Lines> lines;
    std::string line;       // raw bytes of the line being read
    bool overLong = false;  // the line passed the limit; its bytes are dropped
    int terminator = -1;    // '\n' or '\0' once the first line has ended
    std::uint64_t number = 0;  // lines ended so far
    bool hasCarry = false;  // UTF-16: a code unit's first byte ended a chunk
    char carry = 0;
};

// Understands `line` as the whole of a sums file named `sumsFileName`: what a
// SumsReader hands on for a file of that one line, with number 1.
SumsLine ParseSumsLine(std::wstring_view line, std::wstring_view sumsFileName);

// Where an entry of a sums file points. `sumsFilePath` is the sums file's full
// path in the ordinary form. `/` becomes `\`; a relative name is placed in the
// sums file's folder (a name starting with `\`, or a drive-relative one such as
// "D:x", at its drive's or share's root)
// and `.` and `..` are resolved as text, never above the root. Each other name
// is kept exactly, trailing dots and spaces included.
struct SumsEntryPath {
    std::wstring path;
    // `\\.\...` or `\\?\...` (a device or a raw name): never opened, so the
    // entry is MISSING; `path` is the name as written, with backslashes.
    bool device = false;
};
SumsEntryPath ResolveSumsEntry(std::wstring_view sumsFilePath, std::wstring_view name);

enum class SumsVerdict { Ok, Failed, Missing };

// SKIPPED lines shown per check; the rest are only counted.
constexpr std::size_t kMaxShownSkips = 20;

struct SumsTally {
    std::uint64_t ok = 0, failed = 0, missing = 0, skipped = 0;
    bool signedList = false;  // armour was seen: the signature is not verified
    std::vector<SumsLine> shownSkips;  // the first kMaxShownSkips skipped lines

    void Count(SumsVerdict verdict);
    // Takes a line that is not an entry: counts a skipped one, keeping the
    // first kMaxShownSkips, and notes armour.
    void Note(const SumsLine& line);
};

// "[<TAG> <VERDICT>] <computedHex> - <path>\r\n", `path` as result lines show it.
std::wstring SumsVerdictLine(DigestAlgorithm algorithm, SumsVerdict verdict, std::wstring_view computedHex,
                             std::wstring_view path);
// "[SKIPPED] <reason> - <sums file>:<line number>\r\n".
std::wstring SumsSkippedLine(const SumsLine& skipped, std::wstring_view sumsFilePath);
// What ends a check: a SumsSkippedLine for each skipped line kept, then
// "[SKIPPED] <k> more - <path>\r\n" for the k others, then the tally
// "[CHECK] <a> OK, <b> FAILED, <c> MISSING, <d> SKIPPED - <path>\r\n", or
// "[CHECK] NOTHING CHECKED, <d> SKIPPED - <path>\r\n" when no entry was OK,
// FAILED or MISSING; for a signed list ", SIGNATURE NOT VERIFIED" follows the
// counts.
std::wstring SumsTallyLines(const SumsTally& tally, std::wstring_view sumsFilePath);
