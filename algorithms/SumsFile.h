#pragma once
// Sums files: lists of published digests ("<hex>  <name>", "TAG (<name>) = <hex>"
// or "<name> <crc>") that are checked rather than hashed. This is the text side
// only: recognising such a file, decoding and splitting it in bounded memory,
// understanding its lines, placing its names, and writing the verdicts.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "algorithms/Digest.h"

// Whether a file of this name (a bare name or a path) is a sums file: it ends,
// in any case, in .md5, .sha1, .sha256 or .sfv or in CHECKSUM, or is MD5SUMS,
// SHA1SUMS or SHA256SUMS with or without .txt.
bool IsSumsFileName(std::wstring_view fileName);
// The digest that a sums file's name implies, used for lines without a tag;
// none for CHECKSUM files, whose lines carry tags or are told by their length.
std::optional<DigestAlgorithm> SumsNameAlgorithm(std::wstring_view fileName);

enum class SumsEncoding { Utf8, Utf16Le, Ansi };

// Decides a file's encoding from its bytes, fed in order in chunks of any
// size: a UTF-16LE byte-order mark, else UTF-8 when the bytes carry its mark or
// are valid UTF-8 throughout, else the ANSI code page. Decided() turns true as
// soon as more bytes cannot change the answer, so the reader may stop early.
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

// Blank and comment lines count for nothing; skipped lines are those not
// understood (garbage, a digest of the wrong length, a line over the limit).
enum class SumsLineKind { Blank, Comment, Entry, Skipped };

struct SumsLine {
    SumsLineKind kind = SumsLineKind::Skipped;
    SumsEntry entry;  // for kind Entry only
};

// Understands one line, without its line ending. `nameAlgorithm` is the
// sums file's SumsNameAlgorithm. A tag decides the digest, else the file's
// name, else the digest's length (8 CRC32, 32 MD5, 40 SHA-1, 64 SHA-256).
SumsLine ParseSumsLine(std::wstring_view line, std::optional<DigestAlgorithm> nameAlgorithm);

// Longest line read, in bytes, without its line ending; longer ones are Skipped.
constexpr std::size_t kMaxSumsLineBytes = 64 * 1024;

// Splits a sums file, fed in order in chunks of any size, into lines ending in
// LF or CRLF (the last may have no ending), decodes each in the file's
// encoding, drops a byte-order mark and hands each line, understood, to the
// sink. Memory holds at most one line of up to kMaxSumsLineBytes.
class SumsReader {
public:
    using Sink = std::function<void(const SumsLine& line)>;
    SumsReader(SumsEncoding encoding, std::optional<DigestAlgorithm> nameAlgorithm, AnsiDecoder ansi);
    void Feed(const void* bytes, std::size_t count, const Sink& sink);
    // Ends the file: hands over a last line that has no line ending.
    void Finish(const Sink& sink);

private:
    void Append(const char* bytes, std::size_t count);
    void EndLine(const Sink& sink);

    SumsEncoding encoding;
    std::optional<DigestAlgorithm> nameAlgorithm;
    AnsiDecoder ansi;
    std::string line;       // raw bytes of the line being read
    bool overLong = false;  // the line passed the limit; its bytes are dropped
    bool firstLine = true;  // may start with a byte-order mark
    bool hasCarry = false;  // UTF-16: a code unit's first byte ended a chunk
    char carry = 0;
};

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

struct SumsTally {
    std::uint64_t ok = 0, failed = 0, missing = 0, skipped = 0;
    void Count(SumsVerdict verdict);
};

// "[<TAG> <VERDICT>] <computedHex> - <path>\r\n", `path` as result lines show it.
std::wstring SumsVerdictLine(DigestAlgorithm algorithm, SumsVerdict verdict, std::wstring_view computedHex,
                             std::wstring_view path);
// "[CHECK] <a> OK, <b> FAILED, <c> MISSING, <d> SKIPPED - <path>\r\n".
std::wstring SumsTallyLine(const SumsTally& tally, std::wstring_view sumsFilePath);
