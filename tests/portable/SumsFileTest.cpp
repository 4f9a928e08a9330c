#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

#include "algorithms/DigestFind.h"
#include "algorithms/SumsFile.h"

#define MD5 L"900150983cd24fb0d6963f7d28e17f72"
#define SHA1 L"a9993e364706816aba3e25717850c26c9cd0d89d"
#define SHA256 L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"

namespace {

// "blank", "comment", "skipped" or "<TAG> <name>"; an entry's digest must be
// the line's own, in upper case.
std::wstring Show(const SumsLine& parsed, std::wstring_view line) {
    if (parsed.kind != SumsLineKind::Entry) return parsed.kind == SumsLineKind::Blank ? L"blank"
                                                  : parsed.kind == SumsLineKind::Comment ? L"comment" : L"skipped";
    std::wstring lower = parsed.entry.expectedHex;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
    EXPECT_EQ(parsed.entry.expectedHex.size(), Digest::HexDigits(parsed.entry.algorithm));
    EXPECT_TRUE(line.empty() || line.find(lower) != line.npos || line.find(parsed.entry.expectedHex) != line.npos)
        << std::string(line.begin(), line.end());
    EXPECT_EQ(parsed.entry.expectedHex.find_first_of(L"abcdef"), std::wstring::npos);
    return std::wstring(Digest::Tag(parsed.entry.algorithm)) + L" " + parsed.entry.name;
}

// Reads a whole file's bytes, fed in chunks of `chunk` bytes; Latin-1 stands in
// for the ANSI code page.
std::wstring Read(const std::string& bytes, std::size_t chunk, std::optional<DigestAlgorithm> hint,
                  SumsEncoding* encoding) {
    SumsEncodingDetector detector;
    for (std::size_t i = 0; i < bytes.size() && !detector.Decided(); i += chunk) {
        detector.Feed(bytes.data() + i, std::min(chunk, bytes.size() - i));
    }
    *encoding = detector.Result();
    SumsReader reader(*encoding, hint, [](std::string_view ansi) {
        std::wstring text;
        for (char c : ansi) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return text;
    });
    std::wstring shown;
    const SumsReader::Sink sink = [&](const SumsLine& line) { shown += Show(line, L"") + L"|"; };
    for (std::size_t i = 0; i < bytes.size(); i += chunk) {
        reader.Feed(bytes.data() + i, std::min(chunk, bytes.size() - i), sink);
    }
    reader.Finish(sink);
    return shown;
}

std::string Narrow(std::wstring_view text) { return std::string(text.begin(), text.end()); }

std::string Utf16(std::wstring_view text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) (bytes += static_cast<char>(c & 0xFF)) += static_cast<char>(c >> 8);
    return bytes;
}

}  // namespace

TEST(SumsFile, NamesSayWhetherAndWhichDigest) {
    const std::optional<DigestAlgorithm> none;
    const struct { const wchar_t* name; bool sums; std::optional<DigestAlgorithm> algorithm; } cases[] = {
        {L"C:\\dl\\x.iso.MD5", true, DigestMd5}, {L"a.sha1", true, DigestSha1}, {L"a.Sha256", true, DigestSha256},
        {L"a.sfv", true, DigestCrc32}, {L"md5sums", true, DigestMd5}, {L"SHA1SUMS.TXT", true, DigestSha1},
        {L"d/SHA256SUMS.txt", true, DigestSha256}, {L"Fedora-39-CHECKSUM", true, none}, {L"CHECKSUM", true, none},
        {L"x.sha", false, none}, {L"MD5SUMS.bak", false, none}, {L"CHECKSUM.txt", false, none},
        {L"a.md5.txt", false, none}, {L"xMD5SUMS", false, none}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsSumsFileName(c.name), c.sums) << c.name;
        EXPECT_EQ(SumsNameAlgorithm(c.name), c.algorithm) << c.name;
    }
}

TEST(SumsFile, LinesOfEachFormatAreUnderstoodOrSkipped) {
    const std::optional<DigestAlgorithm> none, crc = DigestCrc32, md5 = DigestMd5;
    const struct { const wchar_t* line; std::optional<DigestAlgorithm> hint; const wchar_t* shown; } cases[] = {
        {MD5 L"  a b.txt ", none, L"MD5 a b.txt "}, {SHA1 L" *bin", none, L"SHA-1 bin"},
        {SHA256 L" one", none, L"SHA-256 one"}, {L"352441C2  x", none, L"CRC32 x"},
        {L"\\" MD5 L"  x\\\\y\\nz", none, L"MD5 x\\y\nz"}, {L"\\" MD5 L"  x\\q", none, L"skipped"},
        {L"MD5 (a (1).txt) = " MD5, none, L"MD5 a (1).txt"}, {L"SHA256 (a) = " SHA256, md5, L"SHA-256 a"},
        {L"SHA2-256(a)= " SHA256, none, L"SHA-256 a"}, {L"SHA1(a)=" SHA1, none, L"SHA-1 a"},
        {L"SHA-1 (a) = " SHA1, none, L"SHA-1 a"}, {L"SHA-256 (a) =" SHA256, none, L"SHA-256 a"},
        {L"crc32 (a)= 352441c2", md5, L"CRC32 a"}, {L"\\SHA256 (x\\\\y) = " SHA256, none, L"SHA-256 x\\y"},
        {L"my file.bin 352441C2", crc, L"CRC32 my file.bin"}, {L"0badf00d 352441C2", crc, L"CRC32 0badf00d"},
        {L"0badf00d 352441C2", none, L"CRC32 352441C2"}, {L"name " MD5, none, L"MD5 name"},
        {L"", none, L"blank"}, {L" \t", none, L"blank"}, {L"# " MD5 L"  x", none, L"comment"},
        {L"; sfv comment", crc, L"comment"},
        // Wrong lengths: for the tag, for the file's name, for every digest.
        {L"MD5 (a) = " SHA1, none, L"skipped"}, {L"MD5 (a) = 352441C2", crc, L"skipped"},
        {SHA1 L"  a", md5, L"skipped"}, {L"a 352441C", crc, L"skipped"}, {L"0123456789  a", none, L"skipped"},
        // Cut short, not a line at all, garbage.
        {L"900150983cd24fb0d6", none, L"skipped"}, {L"SHA256 (a) = ", none, L"skipped"}, {MD5 L"  ", none, L"skipped"},
        {L"-----BEGIN PGP SIGNATURE-----", none, L"skipped"}, {L"Hash: SHA256", none, L"skipped"},
        {MD5 L"  a\x01\x02", none, L"skipped"}, {MD5 L"  a\xFFFD", none, L"skipped"}};
    for (const auto& c : cases) EXPECT_EQ(Show(ParseSumsLine(c.line, c.hint), c.line), c.shown) << c.line;
}

TEST(SumsFile, FilesAreDecodedOnceAndSplitInAnyChunks) {
    const std::string longLine = std::string(kMaxSumsLineBytes - 35, 'n');
    const struct { std::string bytes; SumsEncoding encoding; std::wstring shown; } cases[] = {
        {"\xEF\xBB\xBF" + Narrow(MD5 L"  a\r\n# c\r\n\r\n" SHA1 L"  b"), SumsEncoding::Utf8,
         L"MD5 a|comment|blank|SHA-1 b|"},
        {Narrow(MD5 L"  ") + "\xC3\xA9\xF0\x9F\x98\x80\n", SumsEncoding::Utf8, L"MD5 \xE9\U0001F600|"},
        {Narrow(MD5 L"  ") + "\xE9\n" + Narrow(MD5 L"  \xC3\xA9"), SumsEncoding::Ansi, L"MD5 \xE9|MD5 \xC3\xA9|"},
        {Utf16(MD5 L"  \x4E2D\r\n352441C2  b\n"), SumsEncoding::Utf16Le, L"MD5 \x4E2D|CRC32 b|"},
        {Utf16(L"352441C2  \x0A0A") + "\x0A", SumsEncoding::Utf16Le, L"skipped|"},  // half a unit at the end
        {"\xFF\xFE", SumsEncoding::Utf16Le, L"blank|"},
        {Narrow(MD5 L"  ") + longLine + "\r\n" + Narrow(MD5 L"  ") + longLine + "nn\n" + longLine + longLine +
             Narrow(L"\n" SHA1 L"  c\n"),
         SumsEncoding::Utf8, L"MD5 " + std::wstring(longLine.begin(), longLine.end()) + L"|skipped|skipped|SHA-1 c|"},
        {std::string("\x7F" "ELF\x01\x00\x00\n\x8F\xFE\x00\x00", 12) + Narrow(L"\n352441C2  x\n900150983c"),
         SumsEncoding::Ansi, L"skipped|skipped|CRC32 x|skipped|"}};
    for (const auto& c : cases) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, c.bytes.size()}) {
            SumsEncoding encoding;
            EXPECT_EQ(Read(c.bytes, chunk, std::nullopt, &encoding), c.shown) << "chunk " << chunk;
            EXPECT_EQ(encoding, c.encoding) << "chunk " << chunk;
        }
    }
}

TEST(SumsFile, EntryNamesArePlacedAsText) {
    const struct { const wchar_t* sums; const wchar_t* name; const wchar_t* path; bool device; } cases[] = {
        {L"C:\\dl\\SUMS", L"a/b.iso", L"C:\\dl\\a\\b.iso", false},
        {L"C:\\dl\\SUMS", L"./x/../../y. ", L"C:\\y. ", false},
        {L"C:\\dl\\SUMS", L"..\\..\\..\\z", L"C:\\z", false}, {L"C:\\dl\\SUMS", L"/etc//f", L"C:\\etc\\f", false},
        {L"C:\\dl\\SUMS", L"D:\\e\\.\\f", L"D:\\e\\f", false}, {L"C:\\dl\\SUMS", L"..", L"C:\\", false},
        {L"\\\\srv\\sh\\d\\SUMS", L"\\x", L"\\\\srv\\sh\\x", false},
        {L"\\\\srv\\sh\\SUMS", L"../../x", L"\\\\srv\\sh\\x", false},
        {L"C:\\dl\\SUMS", L"//./PhysicalDrive0", L"\\\\.\\PhysicalDrive0", true},
        {L"C:\\dl\\SUMS", L"\\\\?\\C:\\x", L"\\\\?\\C:\\x", true}, {L"C:\\dl\\SUMS", L"NUL", L"C:\\dl\\NUL", false}};
    for (const auto& c : cases) {
        const SumsEntryPath resolved = ResolveSumsEntry(c.sums, c.name);
        EXPECT_EQ(resolved.path, c.path) << c.name;
        EXPECT_EQ(resolved.device, c.device) << c.name;
    }
}

TEST(SumsFile, VerdictAndTallyLines) {
    EXPECT_EQ(SumsVerdictLine(DigestSha256, SumsVerdict::Failed, L"AB", L"C:\\x"), L"[SHA-256 FAILED] AB - C:\\x\r\n");
    EXPECT_EQ(SumsVerdictLine(DigestCrc32, SumsVerdict::Missing, L"00000000", L"y"),
              L"[CRC32 MISSING] 00000000 - y\r\n");
    SumsTally tally;
    for (SumsVerdict v : {SumsVerdict::Ok, SumsVerdict::Ok, SumsVerdict::Failed, SumsVerdict::Missing}) tally.Count(v);
    tally.skipped = 3;
    EXPECT_EQ(SumsTallyLine(tally, L"C:\\S"), L"[CHECK] 2 OK, 1 FAILED, 1 MISSING, 3 SKIPPED - C:\\S\r\n");
}

TEST(DigestFind, FindsResultAndVerdictLinesRoundTheText) {
    for (const wchar_t* text : {L"352441c2", L" " MD5 L"\t", SHA1, SHA256}) EXPECT_TRUE(IsDigestText(text)) << text;
    for (const wchar_t* text : {L"", L"352441c", L"352441c2a", L"352441g2", L"3524 41c2", MD5 L"0"}) {
        EXPECT_FALSE(IsDigestText(text)) << text;
    }
    const std::wstring_view lines[] = {L"[CHECK] 352441C2",  L"[MD5] " MD5 L" - a",     L"[CRC32] 352441C2 - b",
                                       L"[SHA-256] 352441C2AA - c", L"[CRC32X] 352441C2 - d", L"[CRC32 OK] 352441c2 - e"};
    const auto find = [&](std::wstring_view digest, std::size_t first) {
        return FindDigestLine(std::size(lines), first, digest, [&](std::size_t i) { return lines[i]; });
    };
    // Digest, first line searched, line found: tally lines and near tags are passed over.
    const struct { std::wstring_view digest; std::size_t first, found; } cases[] = {
        {L" 352441c2 ", 0, 2}, {L"352441C2", 3, 5}, {L"352441C2", 6, 2}, {MD5, 6, 1},
        {L"900150983CD24FB0D6963F7D28E17F72", 2, 1}};
    for (const auto& c : cases) EXPECT_EQ(find(c.digest, c.first), std::optional<std::size_t>(c.found)) << c.first;
    EXPECT_FALSE(find(L"352441C3", 0));
}
